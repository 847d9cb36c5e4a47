#include "media.h"

#include <cstdio>
#include <filesystem>
#include <functional>
#include <system_error>

#include "reader/text.h"

namespace sonivex {

namespace {

constexpr int kNoDevice = 1;
constexpr const char* kChildWindowStyle = "1073741824";

// Sends a command as every operation does: stored, performed, its result stored.
int Send(Session& s, const std::string& command, std::string* reply, std::intptr_t callbackWindow) {
    MediaState& media = s.media;
    media.LastMediaCommand = command;
    const int result = media.Device != nullptr ? media.Device->SendString(command, reply, callbackWindow) : kNoDevice;
    media.LastMediaError = result;
    return result;
}

int SendNotify(Session& s, const std::string& command) { return Send(s, command, nullptr, s.media.MediaWindow); }

std::string UpToNul(const std::string& text) { return text.substr(0, text.find('\0')); }

// The leading number of a reply, as a 32-bit whole number; -1 when it does not fit.
std::int32_t ReplyNumber(const std::string& reply) {
    try {
        return RoundToWidth<std::int32_t>(Val(UpToNul(reply)));
    } catch (const RunError&) {
        return -1;
    }
}

// Removes the link that the last open made, if any.
void RemoveMediaLink(Session& s) {
    if (s.media.MediaLink.empty()) return;
    std::error_code ec;
    std::filesystem::remove(s.media.MediaLink, ec);
    s.media.MediaLink.clear();
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

void MediaOpen(Session& s, const std::string& path, const std::string& alias) {
    RemoveMediaLink(s);
    const std::string shortPath = ShortPath(path, s.folders.work);
    if (shortPath != path) s.media.MediaLink = shortPath;
    SendNotify(s, "Open " + shortPath + " type MPEGVideo Alias " + alias + " parent " + Dec(s.media.MediaWindow) +
                      " Style " + kChildWindowStyle + " notify");
}

void MediaClose(Session& s, const std::string& alias) {
    if (SendNotify(s, "Close " + alias + " notify") == 0) s.media.Playing = 0;
    RemoveMediaLink(s);
}

void MediaPause(Session& s, const std::string& alias) { SendNotify(s, "Pause " + alias + " notify"); }

void MediaPlay(Session& s, const std::string& alias, std::int64_t from, const std::string& to) {
    const std::string end = to == "TheEnd" ? Dec(MediaLength(s, alias)) : to;
    if (SendNotify(s, "Play " + alias + " from " + Dec(from) + " to " + end + " notify") == 0) s.media.Playing = -1;
}

void MediaStop(Session& s, const std::string& alias) {
    if (SendNotify(s, "Stop " + alias + " notify") == 0) s.media.Playing = 0;
}

void MediaPlaceWindow(Session& s, const std::string& alias, int x, int y, int width, int height) {
    const WindowRect frame = s.platform.MediaWindowRect();
    if (width == 0) width = frame.right - frame.left;
    if (height == 0) height = frame.bottom - frame.top;
    SendNotify(s, "Put " + alias + " window at " + Dec(x) + " " + Dec(y) + " " + Dec(width) + " " + Dec(height) +
                      " notify");
}

std::int32_t MediaLength(Session& s, const std::string& alias) {
    std::string reply(128, ' ');
    Send(s, "Set " + alias + " time format frames", &reply, 0);
    reply.assign(128, ' ');
    if (Send(s, "Status " + alias + " length", &reply, 0) != 0) return -1;
    return ReplyNumber(reply);
}

std::int32_t MediaPosition(Session& s, const std::string& alias) {
    std::string reply(128, ' ');
    if (Send(s, "Status " + alias + " position", &reply, 0) != 0) return -1;
    return ReplyNumber(reply);
}

std::string MediaErrorText(Session& s, int code) {
    if (s.media.Device == nullptr) return "No media device";
    return UpToNul(s.media.Device->ErrorString(code));
}

int MediaQuery(Session& s, const std::string& command, std::string& reply) {
    reply.assign(128, ' ');
    const int result = s.media.Device != nullptr ? s.media.Device->SendString(command, &reply, 0) : kNoDevice;
    reply = result == 0 ? UpToNul(reply) : std::string();
    return result;
}

}  // namespace sonivex
