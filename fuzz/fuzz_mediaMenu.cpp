// The menus the adapter writes for the player, from a media tree made of the input.
//
// Input: lines. "=NAME" starts a media folder /media/NAME, "+NAME" enters a folder in the
// current one, "-" goes back up, any other line is a clip in the current folder. Names hold any
// bytes a file name can hold.

#include "mediaMenu.h"
#include "mediaTree.h"
#include "menuModel.h"
#include "mplayerMenu.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

void fail(const char* what, const std::string& detail = {})
{
    fprintf(stderr, "fuzz_mediaMenu: %s [%s]\n", what, detail.c_str());
    abort();
}

struct Node
{
    std::map<std::string, size_t> folders; // name to node
    std::set<std::string> clips;
};

// What a file system allows in one name.
bool usableName(const std::string& name)
{
    return !name.empty() && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos && name != "." && name != "..";
}

// What the player's menu definition can carry inside an attribute: no quote that ends it, no
// angle bracket its parser could take for a tag, no line end, no control character.
bool carried(const std::string& value)
{
    for (unsigned char c : value) {
        if (c < 0x20 || c == 0x7f || c == '"' || c == '<' || c == '>')
            return false;
    }
    return true;
}

void checkOrder(const std::string& a, const std::string& b, const std::string& c)
{
    if (naturalLess(a, a))
        fail("naturalLess is not irreflexive", a);
    if (naturalLess(a, b) && naturalLess(b, a))
        fail("naturalLess is not asymmetric", a + " | " + b);
    if (a != b && !naturalLess(a, b) && !naturalLess(b, a))
        fail("naturalLess leaves distinct names unordered", a + " | " + b);
    if (naturalLess(a, b) && naturalLess(b, c) && !naturalLess(a, c))
        fail("naturalLess is not transitive", a + " | " + b + " | " + c);
}

// Every order of three names, so that any cycle among them shows.
void checkTriple(const std::string& a, const std::string& b, const std::string& c)
{
    checkOrder(a, b, c);
    checkOrder(a, c, b);
    checkOrder(b, a, c);
    checkOrder(b, c, a);
    checkOrder(c, a, b);
    checkOrder(c, b, a);
}

void checkNames(std::vector<std::string> names)
{
    for (size_t i = 0; i + 2 < names.size() && i < 200; ++i)
        checkTriple(names[i], names[i + 1], names[i + 2]);
    std::sort(names.begin(), names.end(), naturalLess);
    for (size_t i = 0; i + 1 < names.size(); ++i) {
        if (naturalLess(names[i + 1], names[i]))
            fail("sorted names out of order", names[i] + " | " + names[i + 1]);
    }
    for (size_t i = 0; i + 2 < names.size() && i < 200; ++i)
        checkTriple(names[i], names[i + 1], names[i + 2]);
}

// As the scan fills a folder: sorted, bounded, clips as absolute paths.
MediaFolder folderOf(const std::vector<Node>& nodes, size_t at, const std::string& path,
                     const std::string& name, int depth, std::vector<std::string>* clips)
{
    MediaFolder folder{path, name, {}, {}, false};
    std::vector<std::string> subfolders, files;
    for (const auto& f : nodes[at].folders)
        subfolders.push_back(f.first);
    for (const std::string& clip : nodes[at].clips)
        files.push_back(clip);
    checkNames(subfolders);
    checkNames(files);
    std::sort(subfolders.begin(), subfolders.end(), naturalLess);
    std::sort(files.begin(), files.end(), naturalLess);
    for (const std::string& sub : subfolders) {
        if (depth >= kMaxDepth || folder.folders.size() >= size_t(kMaxEntries)) {
            folder.cut = true;
            break;
        }
        folder.folders.push_back(
            folderOf(nodes, nodes[at].folders.at(sub), path + "/" + sub, sub, depth + 1, clips));
    }
    for (const std::string& file : files) {
        if (folder.folders.size() + folder.clips.size() >= size_t(kMaxEntries)) {
            folder.cut = true;
            break;
        }
        folder.clips.push_back(path + "/" + file);
        clips->push_back(folder.clips.back());
    }
    return folder;
}

// The value of attribute NAME="..." in the line, from where the previous one ended.
std::string attribute(const std::string& line, const std::string& name, size_t* from)
{
    const std::string key = name + "=\"";
    const size_t start = line.find(key, *from);
    if (start == std::string::npos)
        fail("attribute missing", name + " in " + line);
    const size_t end = line.find('"', start + key.size());
    if (end == std::string::npos)
        fail("attribute unterminated", line);
    *from = end + 1;
    return line.substr(start + key.size(), end - start - key.size());
}

void checkDefinition(const std::string& text, const std::vector<Menu>& menus)
{
    std::set<std::string> names;
    for (const Menu& m : menus) {
        if (!names.insert(m.name).second)
            fail("two menus named", m.name);
    }
    if (text.empty() || text.back() != '\n')
        fail("the definition does not end its last line");
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find('\n', start);
        const std::string line = text.substr(start, end - start);
        start = end + 1;
        if (std::count(line.begin(), line.end(), '"') % 2 != 0)
            fail("unbalanced quotes", line);
        size_t from = 0;
        if (line.compare(0, 9, "<filesel ") == 0) {
            // A listed menu: its entries are a folder's names, not lines of the definition.
            const std::string name = attribute(line, "name", &from);
            const std::string title = attribute(line, "title", &from);
            if (!names.count(name) || !carried(title))
                fail("a menu the player cannot read", line);
        } else if (line.compare(0, 9, "<cmdlist ") == 0) {
            const std::string name = attribute(line, "name", &from);
            const std::string title = attribute(line, "title", &from);
            if (!names.count(name) || !carried(title))
                fail("a menu the player cannot read", line);
            if (line.compare(from, std::string::npos, " ptr=\"> \">") != 0)
                fail("a menu line with more after its title", line);
        } else if (line.compare(0, 5, "  <e ") == 0) {
            const std::string label = attribute(line, "name", &from);
            const std::string ok = attribute(line, "ok", &from);
            if (!carried(label) || line.compare(from, std::string::npos, "/>") != 0)
                fail("an entry the player cannot read", line);
            if (ok.compare(0, 9, "set_menu ") == 0) {
                if (!names.count(ok.substr(9)))
                    fail("an entry opens no menu", line);
            } else if (!ok.empty() && ok != "pause" && ok != "pausing_keep osd" && ok != "quit" &&
                       ok != "menu cancel") {
                fail("an entry runs a command of its own", line);
            }
        } else if (line != "</cmdlist>") {
            fail("a line the player does not know", line);
        }
    }
    // The entries name their clips by the menu model alone: no path goes into the definition.
    if (text.find("/media/") != std::string::npos)
        fail("a path in the definition");
}

// Walks the menu to the clip as the player would be told to, and chooses it.
void checkReachable(const std::vector<Menu>& menus, const std::string& clip)
{
    MenuModel model(menus, "main", true);
    const std::vector<MenuModel::Step> way = model.wayTo(clip);
    if (way.empty() || way.front().menu != "main")
        fail("no way to the clip", clip);
    for (size_t level = 0; level < way.size(); ++level) {
        if (model.current() != way[level].menu)
            fail("the way leads elsewhere", clip + " at " + way[level].menu);
        for (int i = 0; i < way[level].selection; ++i)
            model.apply("menu down");
        if (model.selection() != way[level].selection)
            fail("the way's entry cannot be selected", clip);
        const MenuModel::Outcome outcome = model.apply("menu ok");
        const bool last = level + 1 == way.size();
        if (last != (outcome == MenuModel::FileChosen))
            fail("choosing along the way does not play the clip", clip);
    }
    if (model.chosenFiles() != std::vector<std::string>{clip})
        fail("the way chooses another clip", clip);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 20000)
        return 0;
    const std::string input(reinterpret_cast<const char*>(data), size);
    std::vector<Node> nodes;
    std::vector<std::pair<std::string, size_t>> tops; // media folders, in the order given
    std::vector<size_t> path;                         // the folders entered
    std::vector<std::string> names;
    for (size_t start = 0; start < input.size();) {
        size_t end = input.find('\n', start);
        if (end == std::string::npos)
            end = input.size();
        const std::string line = input.substr(start, end - start);
        start = end + 1;
        if (line == "-") {
            if (path.size() > 1)
                path.pop_back();
            continue;
        }
        const bool top = !line.empty() && line[0] == '=';
        const bool folder = !line.empty() && line[0] == '+';
        const std::string name = top || folder ? line.substr(1) : line;
        if (!usableName(name))
            continue;
        names.push_back(name);
        if (top || (path.empty() && folder)) {
            auto known = std::find_if(tops.begin(), tops.end(),
                                      [&](const auto& t) { return t.first == name; });
            if (known == tops.end()) {
                nodes.emplace_back();
                tops.emplace_back(name, nodes.size() - 1);
                known = tops.end() - 1;
            }
            path = {known->second};
        } else if (folder) {
            const size_t parent = path.back();
            auto found = nodes[parent].folders.find(name);
            if (found == nodes[parent].folders.end()) {
                nodes.emplace_back();
                found = nodes[parent].folders.emplace(name, nodes.size() - 1).first;
            }
            path.push_back(found->second);
        } else if (!path.empty()) {
            nodes[path.back()].clips.insert(name);
        }
    }
    checkNames(names);

    MediaScan scan;
    std::vector<std::string> clips;
    for (const auto& top : tops)
        scan.folders.push_back(
            folderOf(nodes, top.second, "/media/" + top.first, top.first, 0, &clips));
    const std::vector<Menu> menus = buildMenus(scan);
    checkDefinition(menuDefinition(menus), menus);
    for (size_t i = 0; i < clips.size() && i < 64; ++i)
        checkReachable(menus, clips[i]);
    return 0;
}
