// A media back-end double: records every command string and answers from settings.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "playback/audio_export.h"
#include "playback/media_interface.h"

namespace sonivex::test {

class FakeMedia : public MediaInterface {
public:
    int SendString(const std::string& command, std::string* reply, std::intptr_t callbackWindow) override {
        commands.push_back(command);
        windows.push_back(callbackWindow);
        for (const auto& [prefix, code] : failures) {
            if (command.rfind(prefix, 0) == 0) return code;
        }
        if (reply != nullptr) {
            for (const auto& [prefix, text] : replies) {
                if (command.rfind(prefix, 0) == 0) *reply = text;
            }
        }
        return 0;
    }
    std::string ErrorString(int code) override { return "error " + std::to_string(code) + std::string(1, '\0') + "x"; }

    std::vector<std::string> commands;
    std::vector<std::intptr_t> windows;
    std::map<std::string, std::string> replies;  // by command prefix
    std::map<std::string, int> failures;         // by command prefix
};

// An audio exporter double: writes nothing and records the tracks each export was asked to leave silent.
class SilenceRecorder : public AudioExporter {
public:
    ExportResult Export(const std::filesystem::path&, const std::filesystem::path&, const ExportProgress&,
                        const SilencedTracks& tracks) override {
        silenced.push_back(tracks);
        return {ExportStatus::Written, "", 1};
    }
    std::vector<SilencedTracks> silenced;
};

}  // namespace sonivex::test
