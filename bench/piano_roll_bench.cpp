// Times the piano roll: reading a song, preparing it (with an edit's changes to find), and drawing it at
// 1600x900, whole and while scrolling through it zoomed in.
//
// Usage: sonivex-roll-bench [--png OUT.png] [FILE.mid ...]
// Without files it builds a 10 MB song in memory (16 tracks, about 1.4 million notes, one tempo change a bar).
// Prints one block of figures per song; exit status 1 when the whole-song draw takes 200 ms or more or a
// scrolling frame takes 40 ms or more.
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "reader/timeline.h"
#include "roll/piano_roll_model.h"
#include "roll/piano_roll_renderer.h"
#include "song_bytes.h"

namespace {

using sonivex::bench::Bytes;
using Clock = std::chrono::steady_clock;

double Milliseconds(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// The processor time this thread has used, in milliseconds: on a busy machine it shows the work apart from the
// waiting.
double CpuMilliseconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

using sonivex::bench::Big;
using sonivex::bench::Vlq;

// A format 1 song of about `size` bytes: a tempo track with a change every bar, then 15 tracks of notes (the
// last on the drum channel), chords and runs from a fixed random sequence. `louder` raises every tenth
// note's velocity, as an effect would.
Bytes BigSong(std::size_t size, bool louder) {
    constexpr int kTracks = 16;
    constexpr int kDivision = 480;
    sonivex::bench::XorShift next;
    Bytes file = sonivex::bench::SongHeader(1, kTracks, kDivision);
    const std::size_t perTrack = size / kTracks;
    for (int track = 0; track < kTracks; ++track) {
        Bytes data;
        if (track == 0) {
            for (std::uint32_t bar = 0; data.size() < 40000; ++bar) {
                Vlq(data, bar == 0 ? 0 : 4 * kDivision);
                const std::uint32_t tempo = 400000 + next() % 200000;
                data.insert(data.end(), {0xFF, 0x51, 0x03});
                Big(data, tempo, 3);
            }
        } else {
            const int channel = track == kTracks - 1 ? 9 : track - 1;
            int key = 48 + track * 2;
            std::uint32_t note = 0;
            while (data.size() + 16 < perTrack) {
                const std::uint32_t length = kDivision / 4 * (1 + next() % 4);
                key = std::clamp(key + static_cast<int>(next() % 7) - 3, 28, 100);
                int velocity = 40 + static_cast<int>(next() % 80);
                if (louder && note % 10 == 0) velocity = std::min(127, velocity + 20);
                Vlq(data, 0);
                data.insert(data.end(), {static_cast<std::uint8_t>(0x90 | channel), static_cast<std::uint8_t>(key),
                                         static_cast<std::uint8_t>(velocity)});
                Vlq(data, length);
                data.insert(data.end(), {static_cast<std::uint8_t>(key), 0});  // running status, velocity 0
                ++note;
            }
        }
        data.insert(data.end(), {0x00, 0xFF, 0x2F, 0x00});
        sonivex::bench::AppendTrack(file, data);
    }
    return file;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Times one song; returns false when a target was missed.
bool Bench(const std::string& name, const Bytes& song, const Bytes* before, const std::string& png) {
    auto start = Clock::now();
    sonivex::Timeline timeline = sonivex::ReadTimeline(song);
    const double readMs = Milliseconds(Clock::now() - start);
    sonivex::Timeline previous;
    if (before != nullptr) previous = sonivex::ReadTimeline(*before);

    start = Clock::now();
    sonivex::PianoRollModel model;
    const std::size_t notes = timeline.notes.size();
    model.SetSong(std::move(timeline), before != nullptr ? &previous : nullptr, sonivex::RollNames{});
    const double prepareMs = Milliseconds(Clock::now() - start);

    QImage image(1600, 900, QImage::Format_RGB32);
    sonivex::RollView view;
    view.width = image.width();
    view.height = image.height();
    std::vector<double> whole;
    std::vector<double> wholeCpu;
    std::size_t shapes = 0;
    for (int run = 0; run < 7; ++run) {
        start = Clock::now();
        const double cpuStart = CpuMilliseconds();
        const sonivex::RollPicture picture = model.Layout(view);
        QPainter painter(&image);
        sonivex::DrawPianoRoll(painter, picture);
        painter.end();
        whole.push_back(Milliseconds(Clock::now() - start));
        wholeCpu.push_back(CpuMilliseconds() - cpuStart);
        shapes = picture.shapes.size();
    }
    if (!png.empty()) image.save(QString::fromStdString(png), "PNG");
    start = Clock::now();
    const std::size_t laidOut = model.Layout(view).shapes.size();
    const double layoutMs = Milliseconds(Clock::now() - start);

    // Zoomed to about 8 bars of 4/4 across the width, then scrolled a tenth of the width a frame.
    const double notesWidth = sonivex::PianoRollModel::NotesWidth(view.width);
    view.ticksPerPixel = std::max(1, model.Song().division) * 32.0 / notesWidth;
    std::vector<double> frames;
    const int frameCount = 200;
    const double span = std::max(0.0, model.LastTick() - notesWidth * view.ticksPerPixel);
    for (int frame = 0; frame < frameCount; ++frame) {
        view.firstTick = span * frame / (frameCount - 1);
        start = Clock::now();
        const sonivex::RollPicture picture = model.Layout(view);
        QPainter painter(&image);
        sonivex::DrawPianoRoll(painter, picture);
        painter.end();
        frames.push_back(Milliseconds(Clock::now() - start));
    }
    const double wholeMs = Median(whole);
    const double worstFrame = *std::max_element(frames.begin(), frames.end());
    std::printf("%s: %zu bytes, %zu notes%s\n", name.c_str(), song.size(), notes,
                before != nullptr ? ", an edit's changes outlined" : "");
    std::printf("  read                 %8.1f ms\n", readMs);
    std::printf("  prepare              %8.1f ms\n", prepareMs);
    std::printf("  lay out whole song   %8.1f ms (%zu shapes)\n", layoutMs, laidOut);
    std::printf("  draw whole song      %8.1f ms (median of %zu; %.1f ms of processor time; %zu shapes)   "
                "target < 200 ms\n",
                wholeMs, whole.size(), Median(wholeCpu), shapes);
    std::printf("  scroll, 8 bars wide  %8.1f ms a frame (median), %.1f ms worst of %d   target < 40 ms\n",
                Median(frames), worstFrame, frameCount);
    return wholeMs < 200 && worstFrame < 40;
}

std::optional<Bytes> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

int main(int argc, char** argv) {
    int qtArgc = 3;
    char name[] = "sonivex-roll-bench";
    char option[] = "-platform";
    char platform[] = "offscreen";
    char* qtArgv[] = {name, option, platform, nullptr};
    QGuiApplication application(qtArgc, qtArgv);

    std::string png;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--png" && i + 1 < argc) {
            png = argv[++i];
        } else {
            files.push_back(arg);
        }
    }
    bool met = true;
    if (files.empty()) {
        const Bytes song = BigSong(10 * 1000 * 1000, true);
        const Bytes before = BigSong(10 * 1000 * 1000, false);
        met = Bench("generated 10 MB song", song, &before, png);
    }
    for (const std::string& file : files) {
        const std::optional<Bytes> song = ReadFile(file);
        if (!song) {
            std::fprintf(stderr, "sonivex-roll-bench: %s cannot be read\n", file.c_str());
            return 2;
        }
        met = Bench(file, *song, nullptr, png) && met;
    }
    return met ? 0 : 1;
}
