#include "mpvFiles.h"

#include "menuText.h"

#include <utility>

namespace {

// The file's suffix, when it is a plain one (".srt"); else "".
std::string plainSuffix(const std::string& path)
{
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos || path.find('/', dot) != std::string::npos ||
        path.size() - dot > 6 || dot + 1 == path.size())
        return "";
    for (size_t i = dot + 1; i < path.size(); ++i) {
        const char c = path[i];
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')))
            return "";
    }
    return path.substr(dot);
}

} // namespace

MpvFiles::MpvFiles(std::string folder, std::string firstFile) : folder_(std::move(folder))
{
    if (!firstFile.empty())
        entries_[1] = {std::move(firstFile), {}};
}

std::string MpvFiles::url(const std::string& path, std::string* newAlias, bool subtitle)
{
    newAlias->clear();
    if (utf8(codePoints(path)) == path)
        return path.empty() || path[0] == '/' ? path : "./" + path;
    auto known = aliases_.find(path);
    if (known == aliases_.end()) {
        *newAlias = folder_ + "/" + std::to_string(aliases_.size() + 1) +
                    (subtitle ? plainSuffix(path) : ".media");
        known = aliases_.emplace(path, *newAlias).first;
    }
    return known->second;
}

std::string MpvFiles::file(long long entry) const
{
    const auto found = entries_.find(entry);
    return found != entries_.end() ? found->second.path : std::string();
}

std::vector<Sidecar> MpvFiles::subtitles(long long entry) const
{
    const auto found = entries_.find(entry);
    return found != entries_.end() ? found->second.subtitles : std::vector<Sidecar>();
}
