#include "record_store.h"

#include <algorithm>
#include <limits>

namespace sonivex {

namespace {

template <typename Narrow>
bool Fits(std::int32_t v) {
    return v >= std::numeric_limits<Narrow>::min() && v <= std::numeric_limits<Narrow>::max();
}

}  // namespace

void RecordStore::Put(std::size_t index, const EventRecord& record) {
    Packed& slot = Slot(index);
    const auto kind = static_cast<std::int32_t>(record.Kind);
    slot.wide = !(Fits<std::int16_t>(record.Status) && Fits<std::int16_t>(record.Data1) &&
                  Fits<std::int16_t>(record.Data2) && Fits<std::int16_t>(record.TextMark) &&
                  Fits<std::int16_t>(record.NoteState) && Fits<std::int8_t>(kind));
    if (slot.wide) {
        wide_[index] = record;
        return;
    }
    if (!wide_.empty()) wide_.erase(index);
    slot.delta = record.Delta;
    slot.status = static_cast<std::int16_t>(record.Status);
    slot.data1 = static_cast<std::int16_t>(record.Data1);
    slot.data2 = static_cast<std::int16_t>(record.Data2);
    slot.textMark = static_cast<std::int16_t>(record.TextMark);
    slot.noteState = static_cast<std::int16_t>(record.NoteState);
    slot.kind = static_cast<std::int8_t>(kind);
}

void RecordStore::MakeBlocksFor(std::size_t size) {
    while (blocks_.size() * kBlockRecords < size) {
        blocks_.push_back(std::make_unique_for_overwrite<Packed[]>(kBlockRecords));
    }
}

void RecordStore::Write(std::int64_t firstRecord, std::span<const EventRecord> records) {
    if (firstRecord < 1) return;
    const auto first = static_cast<std::size_t>(firstRecord - 1);
    const std::size_t end = first + records.size();
    MakeBlocksFor(end);
    for (; size_ < first; ++size_) Put(size_, EventRecord::Unwritten());  // records skipped over
    for (std::size_t i = 0; i < records.size(); ++i) Put(first + i, records[i]);
    size_ = std::max(size_, end);
}

EventRecord RecordStore::Values(std::int64_t record) const {
    if (record < 1 || record > static_cast<std::int64_t>(size_)) return EventRecord::Unwritten();
    const auto index = static_cast<std::size_t>(record - 1);
    const Packed& slot = Slot(index);
    if (slot.wide) return wide_.at(index);
    return {slot.status, slot.data1, slot.data2, slot.delta, static_cast<RowKind>(slot.kind), slot.textMark, slot.noteState};
}

void RecordStore::Replace(const std::vector<EventRecord>& records) {
    size_ = 0;
    wide_.clear();
    Write(1, records);
}

}  // namespace sonivex
