#include "piano_roll_song.h"

#include <algorithm>
#include <functional>
#include <optional>
#include <utility>

#include "midi/drums.h"
#include "reader/checked.h"
#include "reader/data_files.h"
#include "reader/files.h"
#include "roll/piano_roll_image.h"

namespace sonivex {

namespace {

// The first drum key that genmidi.ini names; lower keys have no line of their own.
constexpr int kFirstNamedDrumKey = 27;

std::optional<std::string> Looked(const std::function<std::string()>& lookUp) {
    try {
        return lookUp();
    } catch (const RunError&) {
        return std::nullopt;
    }
}

}  // namespace

RollNames PianoRollNames(SongSession& s, const Timeline& song) {
    RollNames names;
    for (const TrackSummary& track : song.tracks) {
        std::string instrument;
        if (track.drums) {
            instrument = "Drums";
        } else if (!track.programs.empty()) {
            instrument = Looked([&] { return ProgramName(s, track.programs.front()); }).value_or("");
        }
        names.instruments.push_back(std::move(instrument));
    }
    std::array<bool, 128> used{};
    for (const TimedNote& note : song.notes) {
        if (IsDrumChannel(note.channel)) used[note.key] = true;
    }
    for (int key = kFirstNamedDrumKey; key < 128; ++key) {
        if (!used[static_cast<std::size_t>(key)]) continue;
        names.drums[static_cast<std::size_t>(key)] = Looked([&] { return DrumLine(s, key); }).value_or("");
    }
    return names;
}

void LoadPianoRoll(SongSession& s, const Bytes* before, PianoRollModel& model) {
    if (s.song.TempFileName.empty()) {
        model.SetSong(Timeline{}, nullptr, RollNames{});
        return;
    }
    const std::optional<Bytes> bytes = ReadWholeFile(s.WorkFile(s.song.TempFileName));
    if (!bytes) {
        model.SetSong(Timeline{}, nullptr, RollNames{});
        return;
    }
    LoadPianoRoll(s, *bytes, before, model);
}

void LoadPianoRoll(SongSession& s, const Bytes& now, const Bytes* before, PianoRollModel& model) {
    Timeline song = ReadTimeline(now);
    std::optional<Timeline> previous;
    if (before != nullptr) previous = ReadTimeline(*before);
    RollNames names = PianoRollNames(s, song);
    // Drum keys that only the song before the command used still need their lane's name.
    if (previous) {
        const RollNames old = PianoRollNames(s, *previous);
        for (std::size_t key = 0; key < names.drums.size(); ++key) {
            if (names.drums[key].empty()) names.drums[key] = old.drums[key];
        }
    }
    model.SetSong(std::move(song), previous ? &*previous : nullptr, std::move(names));
}

namespace {

bool ParseSide(const std::string& text, int& side) {
    if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos) return false;
    side = std::stoi(text);
    return side >= 1 && side <= kLargestRollSide;
}

}  // namespace

bool ParseRollSize(const std::string& text, int& width, int& height) {
    const std::size_t x = text.find_first_of("xX");
    if (x == std::string::npos) return false;
    return ParseSide(text.substr(0, x), width) && ParseSide(text.substr(x + 1), height);
}

}  // namespace sonivex
