// The event record file "notes.dat": fixed records of 49 bytes, numbered from 1, written in place. The file
// is never truncated, so records beyond those of the current track keep what an earlier track left there.
//
// Beside the file it keeps the numbers that a reader of each record gets back, so the event listing need not
// read and parse the file it has just written. Every write of the program goes through here, and Forget()
// goes with every deletion of the file.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "event_record.h"

namespace sonivex {

class NotesFile {
public:
    NotesFile() = default;
    NotesFile(const NotesFile&) = delete;
    NotesFile& operator=(const NotesFile&) = delete;
    ~NotesFile() { Close(); }

    // Opens the file for reading and writing, creating it when it is missing. False when it cannot.
    bool Open(const std::filesystem::path& path);
    void Close();
    bool IsOpen() const { return file_ != nullptr; }

    // Writes whole records, starting with record number `firstRecord`; `values` are the records read back from
    // each, in order. Writing while closed does nothing.
    void WriteRecords(std::int64_t firstRecord, const std::string& records, const std::vector<EventRecord>& values);

    // The record that reading record `record` gives: an unwritten one (fields of 0) beyond the end of the file.
    EventRecord Values(std::int64_t record) const;

    // Replaces the whole file with these records (record n from index n - 1): they are written to `scratch`,
    // which then takes the file's name. False when that fails; the file is then as it was.
    bool Replace(const std::filesystem::path& file, const std::filesystem::path& scratch,
                 const std::vector<EventRecord>& records);

    // The file was deleted: it holds no records any more.
    void Forget() { values_.clear(); }


private:
    // Moves to the record's offset unless the file is there already (a seek flushes the buffer).
    bool SeekRecord(std::int64_t record);

    std::FILE* file_ = nullptr;
    std::int64_t offset_ = -1;  // where the next write goes; -1 when unknown
    std::vector<EventRecord> values_;  // record n at index n - 1
    char buffer_[1 << 16];
};

}  // namespace sonivex
