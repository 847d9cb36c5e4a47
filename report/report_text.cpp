#include "report_value.h"

#include "reader/text.h"
#include "report/play_time.h"

namespace sonivex {

namespace {

const char* const kCrLf = "\r\n";

std::string HeaderText(const Report::Header& h) {
    return "File        : " + h.file + kCrLf + "File Size   :" + Str(h.fileSize) + kCrLf + "Total Tracks:" +
           Str(h.trackCount) + kCrLf + "File Format : " + h.formatName + kCrLf + "Delta Ticks :" +
           Str(h.ticksPerQuarter) + kCrLf;
}

std::string SummaryText(const Report& r) {
    std::string text;
    text += "Number of Instruments :" + Str(static_cast<std::int64_t>(r.instruments.size())) + kCrLf;
    text += "(Melody)              :" + Str(r.melodyCount) + kCrLf;
    text += "(Rhythm)              :" + Str(r.rhythmCount) + kCrLf;
    text += "Main Instrument       : " + r.MainInstrument() + kCrLf;
    text += "Main Instrument Groups: " + r.firstGroup + kCrLf;
    text += std::string(24, ' ') + r.secondGroup + kCrLf;
    text += "Style                 : " + r.style + kCrLf;
    text += "Complex               :" + Str(r.complexity) + kCrLf;
    text += "Average Volume        :" + Str(r.averageVolume) + kCrLf;
    const PlayTime total = PlayingTime(r.totalSeconds);
    text += "Total time            :" + Str(total.minutes) + "." + TwoDigits(total.seconds) + kCrLf;
    return text;
}

std::string ChannelRowText(const ChannelRow& row) {
    const std::string track = "  " + PadLeft(Dec(row.track), 2);
    if (!row.program) return track + "      10            DRUM TRACK" + kCrLf;
    return track + "      " + PadLeft(Dec(row.channel), 2) + "     " + PadLeft(Dec(*row.program), 3) + "    " +
           row.instrument + kCrLf;
}

std::string ChannelTableText(const Report& r) {
    std::string text;
    if (!r.channelRows.empty()) text += "TRACK  CHANNEL  NUMBER  INSTRUMENT\r\n" + std::string(48, '-') + kCrLf;
    for (const ChannelRow& row : r.channelRows) text += ChannelRowText(row);
    text += std::string(kCrLf) + "MAIN INSTRUMENTS:" + kCrLf;
    for (const Report::Instrument& i : r.instruments) text += PadRight(i.name, 29) + PadLeft(Str(i.weight), 7) + kCrLf;
    if (r.noInstruments) text += std::string("No instruments") + kCrLf;
    text += std::string(kCrLf) + "MAIN INSTRUMENT GROUPS:" + kCrLf;
    for (const Report::Group& g : r.groups) text += PadRight(g.name, 32) + PadLeft(Str(g.percent), 4) + "%" + kCrLf;
    return text;
}

std::string NumberList(const std::vector<int>& numbers) {
    std::string list;
    for (std::size_t i = 0; i < numbers.size(); ++i) list += (i > 0 ? "," : "") + Dec(numbers[i]);
    return list;
}

std::string TrackText(const Report& r) {
    std::string text;
    for (const Report::Track& t : r.tracks) {
        text += "Tr:" + PadLeft(Dec(t.number), 2) + "  Length:" + Str(t.length) + kCrLf;
        for (const std::string& line : t.lines) text += "       " + line + kCrLf;
    }
    return text;
}

}  // namespace

std::string ReportText(const Report& r) {
    return HeaderText(r.header) + kCrLf + SummaryText(r) + kCrLf + ChannelTableText(r) + kCrLf +
           "Main 10 Melody Instruments:" + kCrLf + NumberList(r.mainTenMelody) + kCrLf + kCrLf +
           "Main 10 Drum Instruments:" + kCrLf + NumberList(r.mainTenDrum) + kCrLf + kCrLf + TrackText(r);
}

}  // namespace sonivex
