// The event records of the track decoded last, kept in memory from one parse to the next.
//
// Records are numbered from 1. A parse writes whole blocks of 100 and never shortens the set, so records
// beyond those of the current track keep what an earlier track left, until the set is forgotten (at the end
// of every report and at the first load) or replaced whole by an effect.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <unordered_map>
#include <vector>

#include "event_record.h"

namespace sonivex {

class RecordStore {
public:
    // A parse starts: the records are in use from now until Forget().
    void Begin() { inUse_ = true; }

    // Whether a parse has begun since the records were last forgotten.
    bool InUse() const { return inUse_; }

    // Keeps `records` as records `firstRecord` onwards, whole; records skipped over read as unwritten ones.
    void Write(std::int64_t firstRecord, std::span<const EventRecord> records);

    // Record number `record`: an unwritten one (every field 0) beyond the last record kept.
    EventRecord Values(std::int64_t record) const;

    // Replaces the whole set with these records (record n from index n - 1).
    void Replace(const std::vector<EventRecord>& records);

    // Drops every record.
    void Forget() {
        size_ = 0;
        wide_.clear();
        inUse_ = false;
    }

private:
    // A record as it is kept. Nearly every record's numbers fit in 16 bits (the delta in 32), so it takes 16
    // bytes instead of 28; one that does not fit is kept whole in `wide_`. Memory that a run touches for the
    // first time is what a large song costs most, and the records are most of it.
    struct Packed {
        std::int32_t delta;
        std::int16_t status, data1, data2, textMark, noteState;
        std::int8_t kind;
        bool wide;  // the record is the one in `wide_`
    };
    // Records are kept in blocks that are never moved, so the set grows without copying what it holds, and a
    // block's memory is touched only where records are written.
    static constexpr std::size_t kBlockRecords = 4096;

    Packed& Slot(std::size_t index) { return blocks_[index / kBlockRecords][index % kBlockRecords]; }
    const Packed& Slot(std::size_t index) const { return blocks_[index / kBlockRecords][index % kBlockRecords]; }
    // Keeps `record` at `index`, which has a block.
    void Put(std::size_t index, const EventRecord& record);
    // Makes blocks for records up to `size`.
    void MakeBlocksFor(std::size_t size);

    std::vector<std::unique_ptr<Packed[]>> blocks_;
    std::size_t size_ = 0;  // records kept: record n at index n - 1
    std::unordered_map<std::size_t, EventRecord> wide_;
    bool inUse_ = false;
};

}  // namespace sonivex
