// The media control interface on platforms that have none: the command strings, read and performed here
// on players made for each alias.
//
// Commands and keywords are read without regard to case, word by word:
//   open PATH [type T] [alias A] [parent N] [style N]   (the alias defaults to the path)
//   close A | pause A | stop A
//   play A [from N] [to N]                (from defaults to the current position, to to the end)
//   seek A to N|start|end                 (moves the position; playing goes on from there)
//   put A window [at X Y W H]             (accepted; a MIDI file has no picture to place)
//   set A time format frames              (frames are the song's MIDI ticks, the only unit there is)
//   set A silence [N ...]                 (the tracks, counted from 1, whose notes are not played; none: all play)
//   status A length|position|mode
// A final "notify" asks for a completion notification to the callback window.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "playback/media_interface.h"
#include "playback/player/player.h"

namespace sonivex {

// Error codes of SendString.
inline constexpr int kMediaUnrecognizedKeyword = 259;
inline constexpr int kMediaUnrecognizedCommand = 261;
inline constexpr int kMediaUnknownAlias = 263;
inline constexpr int kMediaNoPlayer = 266;
inline constexpr int kMediaMissingParameter = 274;
inline constexpr int kMediaCannotOpenFile = 275;
inline constexpr int kMediaOutOfRange = 282;
inline constexpr int kMediaAliasInUse = 289;
inline constexpr int kMediaUnsupportedTimeFormat = 293;

// The first parameter of a completion notification for a command that failed.
inline constexpr int kMediaNotifyFailed = 4;

class CommandInterpreter : public MediaInterface {
public:
    // `makePlayer` makes the player of each alias opened; `notifier` receives the completion notifications
    // (it may be empty when nobody listens).
    CommandInterpreter(PlayerFactory makePlayer, MediaNotifier notifier);

    // Performs one command. The reply is the number or mode that a status command asks for, else empty.
    // When the command ends in "notify" and `callbackWindow` is not 0, the notifier is called once the
    // command is done, with kMediaNotifySuccessful or kMediaNotifyFailed.
    int SendString(const std::string& command, std::string* reply, std::intptr_t callbackWindow) override;

    std::string ErrorString(int code) override;

private:
    using Words = std::vector<std::string>;

    int Perform(const Words& words, std::string& reply);
    int Open(const Words& words);
    int PlayCommand(Player& player, const Words& words);
    int SeekCommand(Player& player, const Words& words);
    int Put(const Words& words);
    int Set(Player& player, const Words& words);
    int Status(Player& player, const Words& words, std::string& reply);

    PlayerFactory makePlayer_;
    MediaNotifier notifier_;
    std::map<std::string, std::unique_ptr<Player>> players_;  // by alias in lower case
};

}  // namespace sonivex
