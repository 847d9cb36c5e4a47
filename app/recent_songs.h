// The songs opened last, newest first, for File, Recent Songs. The list only: the window keeps it between runs.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace sonivex {

inline constexpr std::size_t kRecentSongs = 8;

class RecentSongs {
public:
    explicit RecentSongs(std::size_t limit = kRecentSongs) : limit_(limit) {}

    // Puts `path` first. A path already in the list moves up instead of standing twice; the oldest entry goes
    // when the list would grow beyond the limit. An empty path changes nothing.
    void Opened(const std::string& path);

    // Takes `path` out of the list (a song that no longer exists); a path not in it changes nothing.
    void Remove(const std::string& path);

    // Replaces the whole list (as read back from the settings): empty entries and repeats are dropped and
    // the list is cut to the limit, keeping the first entries.
    void Assign(const std::vector<std::string>& paths);

    const std::vector<std::string>& Paths() const { return paths_; }

private:
    std::size_t limit_;
    std::vector<std::string> paths_;  // newest first
};

}  // namespace sonivex
