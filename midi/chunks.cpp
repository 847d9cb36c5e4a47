#include "chunks.h"

#include <algorithm>

namespace sonivex {

namespace {

constexpr std::size_t kChunkHeadBytes = 8;
constexpr std::size_t kLeastHeaderBytes = 6;

std::uint32_t Big32(std::span<const std::uint8_t> bytes, std::size_t at) {
    return (std::uint32_t{bytes[at]} << 24) | (std::uint32_t{bytes[at + 1]} << 16) |
           (std::uint32_t{bytes[at + 2]} << 8) | bytes[at + 3];
}

int Big16(std::span<const std::uint8_t> bytes, std::size_t at) { return (bytes[at] << 8) | bytes[at + 1]; }

bool IdIs(std::span<const std::uint8_t> bytes, std::size_t at, const char (&id)[5]) {
    return std::equal(id, id + 4, bytes.begin() + static_cast<std::ptrdiff_t>(at));
}

}  // namespace

std::optional<int> SmfHeader::TicksPerQuarter() const {
    if ((division & 0x8000) != 0 || division == 0) return std::nullopt;
    return division;
}

std::optional<TimeCode> SmfHeader::TimeCodeDivision() const {
    if ((division & 0x8000) == 0) return std::nullopt;
    // The high byte is the frame rate as a negative number.
    const int framesPerSecond = -static_cast<int>(static_cast<std::int8_t>(division >> 8));
    const int ticksPerFrame = division & 0xFF;
    if (framesPerSecond <= 0 || ticksPerFrame == 0) return std::nullopt;
    return TimeCode{framesPerSecond, ticksPerFrame};
}

std::span<const TrackChunk> SmfChunks::SongTracks() const {
    const std::size_t count = std::min(tracks.size(), static_cast<std::size_t>(std::max(0, header.declaredTracks)));
    return std::span<const TrackChunk>(tracks).first(count);
}

std::optional<SmfChunks> ScanChunks(std::span<const std::uint8_t> bytes) {
    const std::size_t size = bytes.size();
    if (size < kChunkHeadBytes + kLeastHeaderBytes || !IdIs(bytes, 0, "MThd")) return std::nullopt;
    const std::uint32_t headerLength = Big32(bytes, 4);
    if (headerLength < kLeastHeaderBytes) return std::nullopt;
    SmfChunks chunks;
    chunks.header.format = Big16(bytes, 8);
    chunks.header.declaredTracks = Big16(bytes, 10);
    chunks.header.division = static_cast<std::uint16_t>(Big16(bytes, 12));

    // 64 bits, so that no declared length can wrap the position.
    std::uint64_t at = kChunkHeadBytes + std::uint64_t{headerLength};
    while (at + kChunkHeadBytes <= size) {
        const auto offset = static_cast<std::size_t>(at);
        const std::uint32_t declared = Big32(bytes, offset + 4);
        const std::size_t dataOffset = offset + kChunkHeadBytes;
        const std::size_t dataLength = std::min<std::size_t>(declared, size - dataOffset);
        if (IdIs(bytes, offset, "MTrk")) chunks.tracks.push_back({offset, dataOffset, dataLength, declared});
        at = std::uint64_t{dataOffset} + declared;
    }
    return chunks;
}

}  // namespace sonivex
