// What tells one working copy from another without reading it: its path, size and time, and the undo
// history's copy before the last command (a quick edit can keep the size and the file's time).
#pragma once

#include <cstdint>
#include <filesystem>
#include <system_error>

#include "app/session.h"

namespace sonivex {

struct SongStamp {
    std::filesystem::path path;
    std::uintmax_t size = 0;
    std::filesystem::file_time_type written{};
    const void* previous = nullptr;
    std::size_t previousSize = 0;

    bool operator==(const SongStamp&) const = default;

    // The stamp of the session's working copy now; an empty path when no song is open.
    static SongStamp Of(const Session& s) {
        SongStamp stamp;
        if (!s.song.TempFileName.empty()) {
            stamp.path = s.WorkFile(s.song.TempFileName);
            std::error_code ec;
            stamp.size = std::filesystem::file_size(stamp.path, ec);
            if (ec) stamp.size = 0;
            stamp.written = std::filesystem::last_write_time(stamp.path, ec);
            if (ec) stamp.written = {};
        }
        const Bytes* previous = s.history.Previous();
        stamp.previous = previous;
        stamp.previousSize = previous != nullptr ? previous->size() : 0;
        return stamp;
    }
};

}  // namespace sonivex
