#include "playback/player/command_interpreter.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <climits>
#include <optional>
#include <utility>

namespace sonivex {

namespace {

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::vector<std::string> SplitWords(const std::string& command) {
    std::vector<std::string> words;
    std::size_t at = 0;
    while (true) {
        at = command.find_first_not_of(" \t", at);
        if (at == std::string::npos) break;
        const std::size_t end = command.find_first_of(" \t", at);
        words.push_back(command.substr(at, end == std::string::npos ? std::string::npos : end - at));
        at = end;
    }
    return words;
}

// A whole decimal number, with an optional leading "-"; nothing for anything else.
std::optional<std::int64_t> Number(const std::string& word) {
    std::int64_t value = 0;
    const char* end = word.data() + word.size();
    const auto [stop, error] = std::from_chars(word.data(), end, value);
    if (word.empty() || error != std::errc() || stop != end) return std::nullopt;
    return value;
}

}  // namespace

CommandInterpreter::CommandInterpreter(PlayerFactory makePlayer, MediaNotifier notifier)
    : makePlayer_(std::move(makePlayer)), notifier_(std::move(notifier)) {}

int CommandInterpreter::SendString(const std::string& command, std::string* reply, std::intptr_t callbackWindow) {
    Words words = SplitWords(command);
    const bool notify = !words.empty() && Lower(words.back()) == "notify";
    if (notify) words.pop_back();

    std::string text;
    const int result = Perform(words, text);
    if (reply != nullptr) *reply = result == 0 ? text : std::string();
    if (notify && callbackWindow != 0 && notifier_) {
        notifier_(callbackWindow, kMediaNotifyMessage, result == 0 ? kMediaNotifySuccessful : kMediaNotifyFailed, 0);
    }
    return result;
}

std::string CommandInterpreter::ErrorString(int code) {
    switch (code) {
    case 0: return "The command completed successfully.";
    case kMediaUnrecognizedKeyword: return "The command holds a word that does not belong to it.";
    case kMediaUnrecognizedCommand: return "The command is not recognised.";
    case kMediaUnknownAlias: return "No file is open under that name.";
    case kMediaNoPlayer: return "The synthesizer could not be started.";
    case kMediaMissingParameter: return "A value that the command needs is missing or is not a whole number.";
    case kMediaCannotOpenFile: return "The file cannot be opened as a MIDI file.";
    case kMediaOutOfRange: return "The position lies outside the song.";
    case kMediaAliasInUse: return "That name is already in use by an open file.";
    case kMediaUnsupportedTimeFormat: return "The only time format is frames.";
    default: return "Unknown error";
    }
}

int CommandInterpreter::Perform(const Words& words, std::string& reply) {
    if (words.empty()) return kMediaUnrecognizedCommand;
    const std::string verb = Lower(words[0]);
    if (verb == "open") return Open(words);

    const bool known = verb == "close" || verb == "pause" || verb == "play" || verb == "stop" || verb == "seek" ||
                       verb == "put" || verb == "set" || verb == "status";
    if (!known) return kMediaUnrecognizedCommand;
    if (words.size() < 2) return kMediaMissingParameter;
    const auto found = players_.find(Lower(words[1]));
    if (found == players_.end()) return kMediaUnknownAlias;
    Player& player = *found->second;

    if (verb == "play") return PlayCommand(player, words);
    if (verb == "seek") return SeekCommand(player, words);
    if (verb == "put") return Put(words);
    if (verb == "set") return Set(player, words);
    if (verb == "status") return Status(player, words, reply);
    if (words.size() > 2) return kMediaUnrecognizedKeyword;
    if (verb == "close") {
        players_.erase(found);
    } else if (verb == "pause") {
        player.Pause();
    } else {
        player.Stop();
    }
    return 0;
}

int CommandInterpreter::Open(const Words& words) {
    if (words.size() < 2) return kMediaMissingParameter;
    const std::string& path = words[1];
    std::string alias = path;
    for (std::size_t i = 2; i < words.size(); i += 2) {
        const std::string key = Lower(words[i]);
        if (key != "type" && key != "alias" && key != "parent" && key != "style") return kMediaUnrecognizedKeyword;
        if (i + 1 >= words.size()) return kMediaMissingParameter;
        const std::string& value = words[i + 1];
        if (key == "alias") alias = value;
        // The device type names what kind of file it is; every file here is played as MIDI. The parent
        // window and the window style place a picture that MIDI playback does not have.
        if ((key == "parent" || key == "style") && !Number(value)) return kMediaMissingParameter;
    }

    const std::string key = Lower(alias);
    if (players_.count(key) != 0) return kMediaAliasInUse;
    std::unique_ptr<Player> player = makePlayer_ ? makePlayer_() : nullptr;
    if (player == nullptr) return kMediaNoPlayer;
    if (!player->Open(path)) return kMediaCannotOpenFile;
    players_.emplace(key, std::move(player));
    return 0;
}

int CommandInterpreter::PlayCommand(Player& player, const Words& words) {
    std::optional<std::int64_t> from;
    std::optional<std::int64_t> to;
    for (std::size_t i = 2; i < words.size(); i += 2) {
        const std::string key = Lower(words[i]);
        if (key != "from" && key != "to") return kMediaUnrecognizedKeyword;
        if (i + 1 >= words.size()) return kMediaMissingParameter;
        const std::optional<std::int64_t> value = Number(words[i + 1]);
        if (!value) return kMediaMissingParameter;
        (key == "from" ? from : to) = value;
    }
    const std::int64_t length = player.LengthTicks();
    const std::int64_t start = from.value_or(player.PositionTicks());
    const std::int64_t end = to.value_or(length);
    if (start < 0 || start > end || end > length) return kMediaOutOfRange;
    player.Play(start, end);
    return 0;
}

int CommandInterpreter::SeekCommand(Player& player, const Words& words) {
    if (words.size() < 3) return kMediaMissingParameter;
    if (Lower(words[2]) != "to") return kMediaUnrecognizedKeyword;
    if (words.size() < 4) return kMediaMissingParameter;
    if (words.size() > 4) return kMediaUnrecognizedKeyword;
    const std::string where = Lower(words[3]);
    const std::int64_t length = player.LengthTicks();
    std::optional<std::int64_t> tick = Number(words[3]);
    if (where == "start") tick = 0;
    if (where == "end") tick = length;
    if (!tick) return kMediaMissingParameter;
    if (*tick < 0 || *tick > length) return kMediaOutOfRange;
    player.Seek(*tick);
    return 0;
}

int CommandInterpreter::Put(const Words& words) {
    if (words.size() < 3) return kMediaMissingParameter;
    if (Lower(words[2]) != "window") return kMediaUnrecognizedKeyword;
    if (words.size() == 3) return 0;
    if (Lower(words[3]) != "at") return kMediaUnrecognizedKeyword;
    if (words.size() < 8) return kMediaMissingParameter;
    for (std::size_t i = 4; i < 8; ++i) {
        if (!Number(words[i])) return kMediaMissingParameter;
    }
    return words.size() == 8 ? 0 : kMediaUnrecognizedKeyword;
}

int CommandInterpreter::Set(Player& player, const Words& words) {
    if (words.size() < 3) return kMediaMissingParameter;
    if (Lower(words[2]) == "silence") {
        std::vector<std::int32_t> tracks;
        for (std::size_t i = 3; i < words.size(); ++i) {
            const std::optional<std::int64_t> track = Number(words[i]);
            if (!track || *track < 1 || *track > INT32_MAX) return kMediaMissingParameter;
            tracks.push_back(static_cast<std::int32_t>(*track - 1));
        }
        player.Silence(SilencedTracks(std::move(tracks)));
        return 0;
    }
    if (Lower(words[2]) != "time") return kMediaUnrecognizedKeyword;
    if (words.size() < 4) return kMediaMissingParameter;
    if (Lower(words[3]) != "format") return kMediaUnrecognizedKeyword;
    if (words.size() < 5) return kMediaMissingParameter;
    if (Lower(words[4]) != "frames") return kMediaUnsupportedTimeFormat;
    return words.size() == 5 ? 0 : kMediaUnrecognizedKeyword;
}

int CommandInterpreter::Status(Player& player, const Words& words, std::string& reply) {
    if (words.size() < 3) return kMediaMissingParameter;
    if (words.size() > 3) return kMediaUnrecognizedKeyword;
    const std::string item = Lower(words[2]);
    if (item == "length") {
        reply = std::to_string(player.LengthTicks());
    } else if (item == "position") {
        reply = std::to_string(player.PositionTicks());
    } else if (item == "mode") {
        reply = player.Mode();
    } else {
        return kMediaUnrecognizedKeyword;
    }
    return 0;
}

}  // namespace sonivex
