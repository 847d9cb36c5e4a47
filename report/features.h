// The musical facts that studies of MIDI collections compute first, from the one reading of a song's notes:
// the estimated key, pitch and interval histograms, density, polyphony, velocities, tempo and time signature
// statistics, the instrument families that sound, and a fingerprint of the notes that finds copies of a song.
//
// "Melody notes" are the notes on every channel but the drum channel. Times are seconds through the song's
// tempo map; a note's duration runs from its note-on to the note-off that ends it.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "reader/timeline.h"
#include "report/key_estimate.h"

namespace sonivex {

// The intervals between successive notes of a top line, in semitones: 0 to 10, and the last bin for 11 or more.
inline constexpr int kIntervalBins = 12;

struct TimeSignatureShare {
    int numerator = 4;
    int denominator = 4;  // 0 when the file's power byte gives no number
    double share = 0;     // of the song's playing time
};

// An instrument family of General MIDI (its programs in groups of eight), or the drum kit of the drum channel.
struct FamilyTime {
    std::string family;    // "Piano", "Chromatic Percussion" ... "Sound Effects", "Drums"
    double seconds = 0;    // the time in which at least one of its notes sounds
};

struct SongFeatures {
    std::optional<KeyEstimate> key;                  // none without melody notes of any length
    std::array<double, 12> pitchClassHistogram{};    // melody notes' durations by pitch class, as shares of 1
    std::optional<int> lowestPitch;                  // melody note keys, 0..127
    std::optional<int> highestPitch;
    std::optional<double> meanPitch;                 // the mean key of the melody notes, each note once
    double noteDensity = 0;                          // every note (drums too) per second of the playing time
    double meanPolyphony = 0;                        // melody notes sounding at once, averaged over the time in
                                                     // which at least one sounds
    int maxPolyphony = 0;
    std::optional<double> velocityMean;              // every note's note-on velocity, 1..127
    std::optional<double> velocitySpread;            // their standard deviation (of the whole population)
    std::array<double, kIntervalBins> intervalHistogram{};  // shares of 1; all 0 without an interval
    std::size_t intervalCount = 0;
    double tempoMin = 0;                             // beats (quarter notes) per minute
    double tempoMax = 0;
    double tempoMean = 0;                            // weighted by the time each tempo holds
    std::vector<TimeSignatureShare> timeSignatures;  // in order of first appearance; none for a song of no time
    std::vector<FamilyTime> families;                // the families that sound, in General MIDI order, drums last
    std::string notesHash;                           // 16 hexadecimal digits (see NotesHash)
};

// The features of a song read with its notes listed (TimelineNotes::List).
SongFeatures ComputeFeatures(const Timeline& song, KeyProfile profile = kDefaultKeyProfile);

// The duration-weighted pitch-class histogram of the melody notes, as shares summing to 1 (all 0 without
// melody notes of any length).
std::array<double, 12> PitchClassHistogram(const Timeline& song);

// A fingerprint of the song's notes: the same for two files whose notes have the same keys, starts and lengths
// in quarter notes (to 1/3840 of a quarter) and channel family (drums or pitched), whatever their names, other
// events, tracks and channels, ticks per quarter or tempo. 16 hexadecimal digits: each note's values mixed
// into 64 bits, the sum of them all mixed with the count of notes. A time-code song counts its ticks instead.
std::string NotesHash(const Timeline& song);

}  // namespace sonivex
