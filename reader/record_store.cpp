#include "record_store.h"

#include <algorithm>

namespace sonivex {

namespace {

constexpr std::int32_t kWidestField = 999999;  // a blank or "-" and six digits

bool FitsFieldWidth(std::int32_t v) { return v >= -kWidestField && v <= kWidestField; }

std::int32_t CutField(std::int32_t v) {
    if (FitsFieldWidth(v)) return v;
    std::int64_t magnitude = v < 0 ? -static_cast<std::int64_t>(v) : v;
    while (magnitude > kWidestField) magnitude /= 10;  // keeps the first six digits
    return static_cast<std::int32_t>(v < 0 ? -magnitude : magnitude);
}

}  // namespace

EventRecord CutToFieldWidth(const EventRecord& record) {
    // Nearly every record fits as it stands.
    if (FitsFieldWidth(record.Status) && FitsFieldWidth(record.Data1) && FitsFieldWidth(record.Data2) &&
        FitsFieldWidth(record.Delta) && FitsFieldWidth(static_cast<std::int32_t>(record.Kind)) &&
        FitsFieldWidth(record.TextMark) && FitsFieldWidth(record.NoteState)) {
        return record;
    }
    std::array<std::int32_t, 7> fields = record.Fields();
    for (std::int32_t& v : fields) v = CutField(v);
    return EventRecord::FromFields(fields);
}

void RecordStore::Write(std::int64_t firstRecord, std::span<const EventRecord> records) {
    if (firstRecord < 1) return;
    const auto first = static_cast<std::size_t>(firstRecord - 1);
    if (values_.size() < first + records.size()) values_.resize(first + records.size(), EventRecord::Unwritten());
    std::transform(records.begin(), records.end(), values_.begin() + static_cast<std::ptrdiff_t>(first),
                   CutToFieldWidth);
}

EventRecord RecordStore::Values(std::int64_t record) const {
    if (record < 1 || record > static_cast<std::int64_t>(values_.size())) return EventRecord::Unwritten();
    return values_[static_cast<std::size_t>(record - 1)];
}

void RecordStore::Replace(const std::vector<EventRecord>& records) {
    values_.resize(records.size());
    std::transform(records.begin(), records.end(), values_.begin(), CutToFieldWidth);
}

}  // namespace sonivex
