// The media control interface: media commands as text strings, performed by a back-end. The media channel
// (media.h) builds the strings; a back-end interprets them (the FluidSynth player, or a test double).
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace sonivex {

// The completion notification that a command ending in " notify" posts to its callback window.
inline constexpr int kMediaNotifyMessage = 953;

// The first parameter of a completion notification: 1 when the command completed successfully.
inline constexpr int kMediaNotifySuccessful = 1;

class MediaInterface {
public:
    virtual ~MediaInterface() = default;

    // Performs a command string. When `reply` is given, the command's reply text is written there. Returns 0
    // on success, otherwise an error code that ErrorString names. A command that ends in " notify" with a
    // non-zero callback window posts a completion notification (kMediaNotifyMessage) to that window later.
    virtual int SendString(const std::string& command, std::string* reply, std::intptr_t callbackWindow) = 0;

    // A readable text for an error code returned by SendString.
    virtual std::string ErrorString(int code) = 0;
};

// Delivers a completion notification to a window: (window, message, first parameter, second parameter).
using MediaNotifier = std::function<void(std::intptr_t, int, std::intptr_t, std::intptr_t)>;

}  // namespace sonivex
