#include "tempo_scan.h"

#include <utility>

#include "meta.h"
#include "parse.h"
#include "track_reader.h"

namespace sonivex {

namespace {

// Walks one track the way the event decoder does, byte for byte, keeping only the tempo changes.
class TempoWalk {
public:
    TempoWalk(const SongSession& s, TrackReader& r, std::int64_t& tempoDataPos)
        : s_(s), r_(r), tempoDataPos_(tempoDataPos) {}

    std::vector<TempoPoint> Walk() {
        try {
            Delta();
            int status = r_.Byte();
            for (;;) {
                if (status == 255) {
                    if (!Meta()) break;
                    status = r_.Byte();
                } else if (status >= 128 && status <= 239) {
                    status = ChannelRun(status);
                } else if (status == 240 || status == 247) {
                    r_.Skip(r_.VarLen());
                    Delta();
                    status = r_.Byte();
                } else if (StopsForMissingStatus(status)) {
                    break;
                } else {
                    status = r_.Byte();
                }
            }
        } catch (const TrackCut&) {
        }
        return std::move(tempos_);
    }

private:
    void Delta() {
        try {
            ticks_ += static_cast<std::uint64_t>(r_.VarLen());
        } catch (const TrackCut&) {
            // the track ends with the next read
        }
    }

    // A meta event; false where the decoder stops the track (End of Track or an event it cannot hold).
    bool Meta() {
        const int type = r_.Byte();
        switch (type) {
        case 0x2F: return false;
        case 0x51: return Tempo();
        case 0x58: {
            const std::int64_t length = r_.VarLen();
            if (length == 0) return false;
            const std::string data = r_.Take(length);
            const auto at = [&](std::size_t i) { return i < data.size() ? static_cast<unsigned char>(data[i]) : 0; };
            if (at(0) == 0 || at(1) >= 15) return false;
            break;  // a clocks byte of 0 may be repaired, which starts the analysis and this map again
        }
        case 0x20:
        case 0x59: {
            const std::int64_t length = r_.VarLen();
            if (length == 0) return false;
            r_.Take(length);
            break;
        }
        case 0x21: r_.Take(2); break;
        case 0x54: r_.Take(6); break;
        default: r_.Take(r_.VarLen()); break;
        }
        Delta();
        return true;
    }

    bool Tempo() {
        tempoDataPos_ = r_.LastPos() + 2;
        const std::int64_t length = r_.VarLen();
        if (length == 0) return false;
        const std::string data = r_.Take(length);
        const auto at = [&](std::size_t i) { return i < data.size() ? static_cast<unsigned char>(data[i]) : 0u; };
        const std::uint32_t tempo = (at(0) << 16) | (at(1) << 8) | at(2);
        if (tempo == 0) return false;
        tempos_.push_back({ticks_, tempo});
        Delta();
        return true;
    }

    // A run of channel events that share a status byte; the status byte that follows it.
    int ChannelRun(int status) {
        const int kind = status & 0xF0;
        const bool twoBytes = kind != 0xC0 && kind != 0xD0;
        int first = r_.Byte();
        for (;;) {
            if ((kind == 0xA0 || kind == 0xB0) && first >= 128) return first;
            if (twoBytes) r_.Byte();
            Delta();
            const int next = r_.Byte();
            if (next >= 128) return next;
            first = next;
        }
    }

    bool StopsForMissingStatus(int status) const {
        const bool candidate = (status >= 1 && status <= 127) || (status >= 241 && status <= 254 && status != 247);
        return candidate && r_.LastPos() == tempoDataPos_ + 4 && s_.song.RepairsThisReport < kMaxRepairsPerReport;
    }

    const SongSession& s_;
    TrackReader& r_;
    std::int64_t& tempoDataPos_;
    std::uint64_t ticks_ = 0;
    std::vector<TempoPoint> tempos_;
};

}  // namespace

std::vector<TempoPoint> ScanTrackTempos(SongSession& s, int track, std::int64_t& tempoDataPos) {
    TrackChunk chunk = ReadTrackChunk(s, track);
    TrackReader r(std::move(chunk.bytes), chunk.firstPos);
    r.Skip(chunk.headerBytes);
    return TempoWalk(s, r, tempoDataPos).Walk();
}

SongTempo ReadSongTempo(SongSession& s) {
    const SongModel& m = s.song;
    std::int64_t tempoDataPos = m.TempoDataPos;
    const int division = m.TicksPerQuarter;
    if (m.FileFormat == 2) {
        std::vector<TempoMap> maps;
        for (int t = 1; t <= m.TracksFound; ++t) maps.emplace_back(division, ScanTrackTempos(s, t, tempoDataPos));
        return SongTempo::PerTrack(std::move(maps));
    }
    std::vector<TempoPoint> all;
    for (int t = 1; t <= m.TracksFound; ++t) {
        std::vector<TempoPoint> own = ScanTrackTempos(s, t, tempoDataPos);
        all.insert(all.end(), own.begin(), own.end());
    }
    return SongTempo::Shared(TempoMap(division, std::move(all)));
}

}  // namespace sonivex
