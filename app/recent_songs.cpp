#include "recent_songs.h"

#include <algorithm>

namespace sonivex {

void RecentSongs::Opened(const std::string& path) {
    if (path.empty()) return;
    Remove(path);
    paths_.insert(paths_.begin(), path);
    if (paths_.size() > limit_) paths_.resize(limit_);
}

void RecentSongs::Remove(const std::string& path) { std::erase(paths_, path); }

void RecentSongs::Assign(const std::vector<std::string>& paths) {
    paths_.clear();
    for (const std::string& path : paths) {
        if (paths_.size() == limit_) break;
        if (path.empty() || std::find(paths_.begin(), paths_.end(), path) != paths_.end()) continue;
        paths_.push_back(path);
    }
}

}  // namespace sonivex
