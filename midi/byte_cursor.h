// A cursor over a run of a song's bytes that knows where they end: no read can pass it. Every reader of the
// song (the report's parser, the timeline, the player, the piano roll) takes its bytes through one of these.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace sonivex {

// The standard's longest variable-length number: four bytes, 28 bits.
inline constexpr int kMaxVarLenBytes = 4;

class ByteCursor {
public:
    explicit ByteCursor(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    bool AtEnd() const { return next_ >= bytes_.size(); }
    std::size_t Left() const { return bytes_.size() - next_; }
    // Bytes read or skipped so far.
    std::size_t Offset() const { return next_; }

    // The next byte; nothing at the end.
    std::optional<std::uint8_t> Byte() {
        if (next_ >= bytes_.size()) return std::nullopt;
        return bytes_[next_++];
    }

    // Skips `count` bytes. When fewer are left it skips them all and returns false.
    bool Skip(std::uint64_t count) {
        if (count > Left()) {
            next_ = bytes_.size();
            return false;
        }
        next_ += static_cast<std::size_t>(count);
        return true;
    }

    // The next `count` bytes; nothing (and the cursor at the end) when fewer are left.
    std::optional<std::span<const std::uint8_t>> Take(std::uint64_t count) {
        const std::size_t from = next_;
        if (!Skip(count)) return std::nullopt;
        return bytes_.subspan(from, static_cast<std::size_t>(count));
    }

    // A variable-length number of at most `maxBytes` bytes: seven bits from each byte, ended by a byte whose top
    // bit is clear or by the last byte allowed, whatever its top bit. Nothing when the bytes end first.
    std::optional<std::uint32_t> VarLen(int maxBytes = kMaxVarLenBytes) {
        std::uint32_t value = 0;
        for (int i = 0; i < maxBytes; ++i) {
            const std::optional<std::uint8_t> b = Byte();
            if (!b) return std::nullopt;
            value = (value << 7) | (*b & 0x7Fu);
            if ((*b & 0x80u) == 0) break;
        }
        return value;
    }

private:
    std::span<const std::uint8_t> bytes_;
    std::size_t next_ = 0;
};

}  // namespace sonivex
