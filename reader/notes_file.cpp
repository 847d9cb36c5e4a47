#include "notes_file.h"

#include <algorithm>

#include "files.h"
#include "parse.h"
#include "session.h"

namespace sonivex {

bool NotesFile::Open(const std::filesystem::path& path) {
    Close();
    file_ = std::fopen(path.c_str(), "r+b");
    if (file_ == nullptr) file_ = std::fopen(path.c_str(), "w+b");
    if (file_ != nullptr) std::setvbuf(file_, buffer_, _IOFBF, sizeof buffer_);
    offset_ = -1;
    return file_ != nullptr;
}

bool NotesFile::SeekRecord(std::int64_t record) {
    const std::int64_t offset = (record - 1) * kRecordSize;
    if (offset == offset_) return true;
    if (std::fseek(file_, static_cast<long>(offset), SEEK_SET) != 0) {
        offset_ = -1;
        return false;
    }
    offset_ = offset;
    return true;
}

void NotesFile::Close() {
    if (file_ != nullptr) std::fclose(file_);
    file_ = nullptr;
}

void NotesFile::WriteRecords(std::int64_t firstRecord, const std::string& records,
                             const std::vector<EventRecord>& values) {
    if (file_ == nullptr || firstRecord < 1) return;
    const auto first = static_cast<std::size_t>(firstRecord - 1);
    if (values_.size() < first + values.size()) values_.resize(first + values.size(), EventRecord::Unwritten());
    std::copy(values.begin(), values.end(), values_.begin() + static_cast<std::ptrdiff_t>(first));
    if (!SeekRecord(firstRecord)) return;
    const std::size_t written = std::fwrite(records.data(), 1, records.size(), file_);
    offset_ = written == records.size() ? offset_ + static_cast<std::int64_t>(written) : -1;
}

bool NotesFile::Replace(const std::filesystem::path& file, const std::filesystem::path& scratch,
                        const std::vector<EventRecord>& records) {
    std::string text(records.size() * kRecordSize, ' ');
    std::vector<EventRecord> values(records.size());
    for (std::size_t r = 0; r < records.size(); ++r) {
        WriteRecord(text.data() + r * kRecordSize, records[r]);
        values[r] = ReadRecord(text.data() + r * kRecordSize);  // what a reader of the file gets back
    }
    Close();
    if (ReplaceThroughScratch(file, scratch, text) != Replaced::Done) return false;
    values_ = std::move(values);
    return true;
}

EventRecord NotesFile::Values(std::int64_t record) const {
    if (record < 1 || record > static_cast<std::int64_t>(values_.size())) return EventRecord::Unwritten();
    return values_[static_cast<std::size_t>(record - 1)];
}


}  // namespace sonivex
