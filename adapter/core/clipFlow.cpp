#include "clipFlow.h"

#include <utility>

ClipFlow::ClipFlow(std::string background, const ResumeStore* store)
    : background_(std::move(background)), store_(store)
{
}

std::vector<PlayItem> ClipFlow::chosen(const std::vector<std::string>& files)
{
    queue_ = files;
    next_ = 0;
    choosing_ = true;
    single_ = files.size() == 1;
    // All of it goes to the player at once, so that a file that cannot be played is followed
    // by the next one, and the last one by the background.
    std::vector<PlayItem> items;
    for (const std::string& f : files)
        items.push_back({f, 0, {}});
    if (items.size() == 1 && store_)
        items.front().startAt = store_->startAt(items.front().path);
    if (!background_.empty())
        items.push_back({background_, 0, {}});
    return items;
}

void ClipFlow::failed(const std::string& file)
{
    for (size_t i = next_; i < queue_.size(); ++i) {
        if (queue_[i] == file) {
            next_ = i + 1;
            clip_ = file;
            clipFailed_ = true;
            return;
        }
    }
    if (file == clip_)
        clipFailed_ = true;
}

std::vector<PlayItem> ClipFlow::pulled()
{
    if (background_.empty() || clip_.empty())
        return {};
    queue_.clear();
    next_ = 0;
    choosing_ = false;
    pulled_ = true;
    return {{background_, 0, {}}};
}

ClipFlow::Start ClipFlow::started(const std::string& file)
{
    Start start;
    const bool first = !started_;
    started_ = true;

    // A file of the running choice: the first one, or the next after one that played to its
    // end (or could not be played).
    for (size_t i = next_; i < queue_.size(); ++i) {
        if (queue_[i] != file)
            continue;
        start.fromMenu = choosing_;
        if (!choosing_ && !clipFailed_)
            start.finished = clip_;
        choosing_ = false;
        next_ = i + 1;
        clip_ = file;
        clipFailed_ = false;
        return start;
    }
    if (file == background_) {
        start.pulled = std::exchange(pulled_, false);
        if (!clip_.empty() && !start.pulled) {
            // The choice is over: back to the menu, on the clip that ended.
            if (!clipFailed_)
                start.finished = clip_;
            start.ended = clip_;
            start.unplayable = clipFailed_ && single_;
        }
        start.stillPicture = first || !clip_.empty();
        clip_.clear();
        clipFailed_ = false;
        queue_.clear();
        next_ = 0;
        choosing_ = false;
        start.append.push_back({background_, 0, {}});
        return start;
    }
    // Anything else: the media argument, or a file loaded by other means.
    queue_.clear();
    next_ = 0;
    choosing_ = false;
    clip_ = file;
    clipFailed_ = false;
    return start;
}
