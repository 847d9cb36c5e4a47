#include "media.h"

#include <cstdio>
#include <filesystem>
#include <functional>
#include <system_error>

#include <charconv>

namespace sonivex {

namespace {

constexpr int kNoDevice = 1;
constexpr const char* kChildWindowStyle = "1073741824";

// Sends a command as every operation does: stored, performed, its result stored.
int Send(MediaState& media, const std::string& command, std::string* reply, std::intptr_t callbackWindow) {
    media.LastMediaCommand = command;
    const int result = media.Device != nullptr ? media.Device->SendString(command, reply, callbackWindow) : kNoDevice;
    media.LastMediaError = result;
    return result;
}

int SendNotify(MediaState& media, const std::string& command) {
    return Send(media, command, nullptr, media.MediaWindow);
}

std::string Dec(std::int64_t value) { return std::to_string(value); }

std::string UpToNul(const std::string& text) { return text.substr(0, text.find('\0')); }

// The leading whole number of a reply (after any blanks), as a 32-bit number; 0 when it starts with no number,
// -1 when it does not fit.
std::int32_t ReplyNumber(const std::string& reply) {
    const std::string text = UpToNul(reply);
    const std::size_t start = text.find_first_not_of(' ');
    if (start == std::string::npos) return 0;
    const char* first = text.data() + start;
    if (*first == '+') ++first;
    std::int32_t value = 0;
    const auto [end, error] = std::from_chars(first, text.data() + text.size(), value);
    if (error == std::errc::result_out_of_range) return -1;
    return end == first ? 0 : value;
}

// Removes the link that the last open made, if any.
void RemoveMediaLink(MediaState& media) {
    if (media.MediaLink.empty()) return;
    std::error_code ec;
    std::filesystem::remove(media.MediaLink, ec);
    media.MediaLink.clear();
}

}  // namespace

std::string ShortPath(const std::string& path, const std::filesystem::path& linkFolder) {
    if (path.find(' ') == std::string::npos) return path;
    std::error_code ec;
    const std::filesystem::path target = std::filesystem::absolute(path, ec);
    char name[32];
    std::snprintf(name, sizeof name, "%016zx", std::hash<std::string>{}(target.string()));
    const std::filesystem::path link =
        std::filesystem::absolute(linkFolder, ec) / (std::string(name) + std::filesystem::path(path).extension().string());
    if (link.string().find(' ') != std::string::npos) return path;
    std::filesystem::remove(link, ec);
    std::filesystem::create_symlink(target, link, ec);
    return ec ? path : link.string();
}

void MediaOpen(MediaState& media, const std::string& path, const std::string& alias,
               const std::filesystem::path& linkFolder) {
    RemoveMediaLink(media);
    const std::string shortPath = ShortPath(path, linkFolder);
    if (shortPath != path) media.MediaLink = shortPath;
    const int opened = SendNotify(media, "Open " + shortPath + " type MPEGVideo Alias " + alias + " parent " +
                                             Dec(media.MediaWindow) + " Style " + kChildWindowStyle + " notify");
    if (opened == 0 && !media.Silenced.Empty()) {
        // The open's own command and result stay the ones that the media state holds.
        const std::string openCommand = media.LastMediaCommand;
        MediaSilence(media, alias);
        media.LastMediaCommand = openCommand;
        media.LastMediaError = opened;
    }
}

void MediaSilence(MediaState& media, const std::string& alias) {
    std::string command = "Set " + alias + " silence";
    for (const std::int32_t track : media.Silenced.Tracks()) command += " " + Dec(track + 1);
    Send(media, command, nullptr, 0);
}

void MediaClose(MediaState& media, const std::string& alias) {
    if (SendNotify(media, "Close " + alias + " notify") == 0) media.Playing = false;
    RemoveMediaLink(media);
}

void MediaPause(MediaState& media, const std::string& alias) { SendNotify(media, "Pause " + alias + " notify"); }

void MediaPlay(MediaState& media, const std::string& alias, std::int64_t from, std::optional<std::int64_t> to) {
    const std::string end = Dec(to ? *to : MediaLength(media, alias));
    if (SendNotify(media, "Play " + alias + " from " + Dec(from) + " to " + end + " notify") == 0) media.Playing = true;
}

void MediaStop(MediaState& media, const std::string& alias) {
    if (SendNotify(media, "Stop " + alias + " notify") == 0) media.Playing = false;
}

void MediaSeek(MediaState& media, const std::string& alias, std::int64_t to) {
    Send(media, "Seek " + alias + " to " + Dec(to), nullptr, 0);
}

void MediaPlaceWindow(MediaState& media, const std::string& alias, int x, int y, int width, int height) {
    SendNotify(media, "Put " + alias + " window at " + Dec(x) + " " + Dec(y) + " " + Dec(width) + " " + Dec(height) +
                      " notify");
}

std::int32_t MediaLength(MediaState& media, const std::string& alias) {
    std::string reply(128, ' ');
    Send(media, "Set " + alias + " time format frames", &reply, 0);
    reply.assign(128, ' ');
    if (Send(media, "Status " + alias + " length", &reply, 0) != 0) return -1;
    return ReplyNumber(reply);
}

std::int32_t MediaPosition(MediaState& media, const std::string& alias) {
    std::string reply(128, ' ');
    if (Send(media, "Status " + alias + " position", &reply, 0) != 0) return -1;
    return ReplyNumber(reply);
}

std::string MediaErrorText(MediaState& media, int code) {
    if (media.Device == nullptr) return "No media device";
    return UpToNul(media.Device->ErrorString(code));
}

int MediaQuery(MediaState& media, const std::string& command, std::string& reply) {
    reply.assign(128, ' ');
    const int result = media.Device != nullptr ? media.Device->SendString(command, &reply, 0) : kNoDevice;
    reply = result == 0 ? UpToNul(reply) : std::string();
    return result;
}

}  // namespace sonivex
