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

}  // namespace sonivex
