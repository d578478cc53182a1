#include "clipFlow.h"

#include "mediaTree.h"

#include <cstdio>

ClipFlow::ClipFlow(std::string background, ResumeStore* store)
    : background_(std::move(background)), store_(store)
{
}

void ClipFlow::chosen(const std::vector<std::string>& files)
{
    pending_ = files;
}

std::string ClipFlow::append(const std::string& file) const
{
    // Appended to the player's list, without touching a pause.
    return "pausing_keep loadfile '" + file + "' 1";
}

ClipFlow::Start ClipFlow::started(const std::string& file)
{
    Start start;
    const bool first = !started_;
    started_ = true;
    const bool loops = quotable(background_);

    if (!pending_.empty() && file == pending_.front()) {
        // A choice from the menu: its other clips, then the background, follow it.
        queue_ = pending_;
        pending_.clear();
        playing_ = 0;
        clip_ = file;
        start.fromMenu = true;
        for (size_t i = 1; i < queue_.size(); ++i)
            start.commands.push_back(append(queue_[i]));
        if (!background_.empty() && loops)
            start.commands.push_back(append(background_));
        const double at = queue_.size() == 1 && store_ ? store_->startAt(file) : 0;
        if (at > 0) {
            char seek[64];
            snprintf(seek, sizeof seek, "seek %.3f 2", at);
            start.commands.push_back(seek);
        }
        return start;
    }
    if (playing_ + 1 < queue_.size() && file == queue_[playing_ + 1]) {
        // The next clip of "Play all": the one before it has played to its end.
        if (store_)
            store_->finished(clip_);
        ++playing_;
        clip_ = file;
        return start;
    }
    if (file == background_) {
        if (!clip_.empty()) {
            // The choice has played to its end: back to the menu, on the clip that ended.
            if (store_)
                store_->finished(clip_);
            start.ended = clip_;
        }
        start.stillPicture = first || !clip_.empty();
        clip_.clear();
        queue_.clear();
        if (loops)
            start.commands.push_back(append(background_));
        return start;
    }
    // Anything else: the media argument, or a file loaded by other means.
    queue_.clear();
    clip_ = file;
    return start;
}
