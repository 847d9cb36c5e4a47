// The event records of the track decoded last, kept in memory from one parse to the next.
//
// Records are numbered from 1. A parse writes whole blocks of 100 and never shortens the set, so records
// beyond those of the current track keep what an earlier track left, until the set is forgotten (at the end
// of every report and at the first load) or replaced whole by an effect.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "event_record.h"

namespace sonivex {

// The record as it is kept: a number whose signed decimal form (a blank or "-", then the digits) is longer
// than 7 characters keeps its first 7, so 1,500,000 is kept as 150,000 and -2,097,151 as -209,715.
EventRecord CutToFieldWidth(const EventRecord& record);

class RecordStore {
public:
    // A parse starts: the records are in use from now until Forget().
    void Begin() { inUse_ = true; }

    // Whether a parse has begun since the records were last forgotten.
    bool InUse() const { return inUse_; }

    // Keeps `records` as records `firstRecord` onwards, each cut to the field width; records skipped over read as
    // unwritten ones.
    void Write(std::int64_t firstRecord, std::span<const EventRecord> records);

    // Record number `record`: an unwritten one (every field 0) beyond the last record kept.
    EventRecord Values(std::int64_t record) const;

    // Replaces the whole set with these records (record n from index n - 1), each cut to the field width.
    void Replace(const std::vector<EventRecord>& records);

    // Drops every record.
    void Forget() {
        values_.clear();
        inUse_ = false;
    }

private:
    std::vector<EventRecord> values_;  // record n at index n - 1
    bool inUse_ = false;
};

}  // namespace sonivex
