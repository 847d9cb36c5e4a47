// The event listing: one log line per recorded event of the current track, then its playing time.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "reader/event_record.h"
#include "report/play_time.h"
#include "report/report_session.h"

namespace sonivex {

// The drum kit that a program change on the drum channel chooses, as an index of NameTables::DrumKitNames
// (1 "Standard" to 9 "unknown"), as the listing's "Drum Set:" names it.
int DrumKitIndex(int program);

// Lists event records 1 to RecordCount to the log, then the track's "Total Time:" line with its playing time.
void ListTrackEvents(ReportSession& s, const PlayTime& time);

// The log line of one record; `drum` carries the last named drum note between records of one track.
struct DrumMemory {
    int key = -1;
    std::int64_t record = -10;
    std::string name;
};
std::string ListingLine(ReportSession& s, const EventRecord& fields, std::int64_t record,
                        DrumMemory& drum);

// The same line, laid out in `buffer` (reused from line to line); the view is valid until the next call.
// The commonest rows, melody notes, are written the short way.
std::string_view FormatListingLine(std::string& buffer, ReportSession& s, const EventRecord& fields,
                                   std::int64_t record, DrumMemory& drum);

// The same line for every kind of row, laid out column by column; what the short way must match.
std::string_view FormatAnyListingLine(std::string& buffer, ReportSession& s, const EventRecord& fields,
                                      std::int64_t record, DrumMemory& drum);

}  // namespace sonivex
