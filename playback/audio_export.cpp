#include "audio_export.h"

#include "reader/text.h"

namespace sonivex {

std::optional<AudioFormat> AudioFormatOf(const std::filesystem::path& name) {
    const std::string extension = LowerAscii(name.extension().string());
    if (extension == ".wav") return AudioFormat::Wav;
    if (extension == ".flac") return AudioFormat::Flac;
    if (extension == ".ogg") return AudioFormat::Ogg;
    return std::nullopt;
}

}  // namespace sonivex
