#include "audio_export.h"

#include <algorithm>

namespace sonivex {

std::optional<AudioFormat> AudioFormatOf(const std::filesystem::path& name) {
    std::string extension = name.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
    if (extension == ".wav") return AudioFormat::Wav;
    if (extension == ".flac") return AudioFormat::Flac;
    if (extension == ".ogg") return AudioFormat::Ogg;
    return std::nullopt;
}

std::string AudioScratchName(std::string_view targetName, std::string_view ownPart) {
    return "." + std::string(targetName) + "." + std::string(ownPart) + ".part";
}

std::optional<std::string_view> OwnPartOfAudioScratch(std::string_view name) {
    constexpr std::string_view kEnd = ".part";
    if (name.size() <= kEnd.size() + 3 || name[0] != '.' || !name.ends_with(kEnd)) return std::nullopt;
    name.remove_suffix(kEnd.size());
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || dot < 2 || dot + 1 == name.size()) return std::nullopt;
    return name.substr(dot + 1);
}

}  // namespace sonivex
