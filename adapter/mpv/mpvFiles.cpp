#include "mpvFiles.h"

#include "menuText.h"

#include <utility>

MpvFiles::MpvFiles(std::string folder, std::string firstFile) : folder_(std::move(folder))
{
    if (!firstFile.empty())
        entries_[1] = std::move(firstFile);
}

std::string MpvFiles::url(const std::string& path, std::string* newAlias)
{
    newAlias->clear();
    if (utf8(codePoints(path)) == path)
        return path.empty() || path[0] == '/' ? path : "./" + path;
    auto known = aliases_.find(path);
    if (known == aliases_.end()) {
        *newAlias = folder_ + "/" + std::to_string(aliases_.size() + 1) + ".media";
        known = aliases_.emplace(path, *newAlias).first;
    }
    return known->second;
}

std::string MpvFiles::file(long long entry) const
{
    const auto found = entries_.find(entry);
    return found != entries_.end() ? found->second : std::string();
}
