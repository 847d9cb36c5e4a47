// The key of a song estimated from its notes: a duration-weighted pitch-class histogram correlated with the 24
// rotations of a key profile (the profile's major and minor weights of the twelve scale degrees), the key whose
// profile correlates best taken.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace sonivex {

// The published key profiles the estimate can use.
enum class KeyProfile {
    Krumhansl,  // Krumhansl and Kessler (1982): listeners' ratings of probe tones after a key was set up
    Temperley,  // Temperley (2007): pitch-class shares in the Kostka-Payne corpus of tonal excerpts
    Aarden,     // Aarden (2003): pitch-class shares, weighted by duration, in the Essen folk song collection
};

inline constexpr KeyProfile kDefaultKeyProfile = KeyProfile::Krumhansl;

// The profile of a command-line name ("krumhansl", "temperley", "aarden"); none for another name.
std::optional<KeyProfile> KeyProfileNamed(std::string_view name);
std::string_view KeyProfileName(KeyProfile profile);

// A pitch class: 0 is C, 1 C sharp, ... 11 B.
using PitchClass = int;

struct Key {
    PitchClass tonic = 0;
    bool minor = false;

    bool operator==(const Key&) const = default;
};

// "C major", "F# minor", "Bb major": the tonic spelled as key signatures spell it most often.
std::string KeyName(const Key& key);

// The key of a stored key signature: `sharpsFlats` sharps (below 0: flats), major or minor. Counts beyond
// seven are taken round the circle of fifths.
Key KeyOfSignature(int sharpsFlats, bool minor);

// The relative key: the minor key of the same signature for a major key, and the other way round.
Key RelativeKey(const Key& key);

struct KeyEstimate {
    Key key;
    double correlation = 0;  // Pearson's correlation of the histogram with the best key's profile, -1 to 1
    double margin = 0;       // how far the second best key's correlation falls short of it
};

// The best of the 24 keys for `histogram` (any non-negative weights of the twelve pitch classes); none when
// the weights are all equal (no notes, or every pitch class alike), which correlates with no key. Of two keys
// that correlate equally the first in the order C major, C minor, C# major... is taken.
std::optional<KeyEstimate> EstimateKey(const std::array<double, 12>& histogram, KeyProfile profile);

}  // namespace sonivex
