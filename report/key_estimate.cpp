#include "key_estimate.h"

#include <cmath>

namespace sonivex {

namespace {

struct Profile {
    std::array<double, 12> major;
    std::array<double, 12> minor;
};

// The weights of the scale degrees, from the tonic up by semitones.
constexpr Profile kKrumhansl{
    {6.35, 2.23, 3.48, 2.33, 4.38, 4.09, 2.52, 5.19, 2.39, 3.66, 2.29, 2.88},
    {6.33, 2.68, 3.52, 5.38, 2.60, 3.53, 2.54, 4.75, 3.98, 2.69, 3.34, 3.17},
};
constexpr Profile kTemperley{
    {0.748, 0.060, 0.488, 0.082, 0.670, 0.460, 0.096, 0.715, 0.104, 0.366, 0.057, 0.400},
    {0.712, 0.084, 0.474, 0.618, 0.049, 0.460, 0.105, 0.747, 0.404, 0.067, 0.133, 0.330},
};
constexpr Profile kAarden{
    {17.7661, 0.145624, 14.9265, 0.160186, 19.8049, 11.3587, 0.291248, 22.062, 0.145624, 8.15494, 0.232998, 4.95122},
    {18.2648, 0.737619, 14.0499, 16.8599, 0.702494, 14.4362, 0.702494, 18.6161, 4.56621, 1.93186, 7.37619, 1.75623},
};

const Profile& ProfileOf(KeyProfile profile) {
    switch (profile) {
        case KeyProfile::Krumhansl: return kKrumhansl;
        case KeyProfile::Temperley: return kTemperley;
        case KeyProfile::Aarden: break;
    }
    return kAarden;
}

// Pearson's correlation of the histogram with the profile turned to start at `tonic`; none when the histogram
// does not vary.
std::optional<double> Correlation(const std::array<double, 12>& histogram, const std::array<double, 12>& weights,
                                  PitchClass tonic) {
    double meanH = 0;
    double meanW = 0;
    for (int i = 0; i < 12; ++i) {
        meanH += histogram[i];
        meanW += weights[i];
    }
    meanH /= 12;
    meanW /= 12;
    double product = 0;
    double squaresH = 0;
    double squaresW = 0;
    double total = 0;
    for (int pc = 0; pc < 12; ++pc) {
        total += histogram[pc] * histogram[pc];
        const double h = histogram[pc] - meanH;
        const double w = weights[(pc - tonic + 12) % 12] - meanW;
        product += h * w;
        squaresH += h * h;
        squaresW += w * w;
    }
    // A histogram whose weights differ only by rounding does not vary either.
    if (squaresH <= 1e-12 * total) return std::nullopt;
    return product / std::sqrt(squaresH * squaresW);
}

}  // namespace

std::optional<KeyProfile> KeyProfileNamed(std::string_view name) {
    for (KeyProfile profile : {KeyProfile::Krumhansl, KeyProfile::Temperley, KeyProfile::Aarden}) {
        if (KeyProfileName(profile) == name) return profile;
    }
    return std::nullopt;
}

std::string_view KeyProfileName(KeyProfile profile) {
    switch (profile) {
        case KeyProfile::Krumhansl: return "krumhansl";
        case KeyProfile::Temperley: return "temperley";
        case KeyProfile::Aarden: break;
    }
    return "aarden";
}

std::string KeyName(const Key& key) {
    static constexpr std::array<const char*, 12> kMajor{"C", "Db", "D", "Eb", "E", "F", "F#", "G", "Ab", "A", "Bb", "B"};
    static constexpr std::array<const char*, 12> kMinor{"C", "C#", "D", "Eb", "E", "F", "F#", "G", "G#", "A", "Bb", "B"};
    const PitchClass tonic = ((key.tonic % 12) + 12) % 12;
    return std::string(key.minor ? kMinor[tonic] : kMajor[tonic]) + (key.minor ? " minor" : " major");
}

Key KeyOfSignature(int sharpsFlats, bool minor) {
    const PitchClass major = ((sharpsFlats * 7) % 12 + 12) % 12;  // each sharp a fifth up, each flat a fifth down
    return minor ? Key{(major + 9) % 12, true} : Key{major, false};
}

Key RelativeKey(const Key& key) {
    return key.minor ? Key{(key.tonic + 3) % 12, false} : Key{(key.tonic + 9) % 12, true};
}

std::optional<KeyEstimate> EstimateKey(const std::array<double, 12>& histogram, KeyProfile profile) {
    const Profile& weights = ProfileOf(profile);
    std::optional<KeyEstimate> best;
    std::optional<double> second;
    for (PitchClass tonic = 0; tonic < 12; ++tonic) {
        for (const bool minor : {false, true}) {
            const std::optional<double> r = Correlation(histogram, minor ? weights.minor : weights.major, tonic);
            if (!r) return std::nullopt;
            if (!best || *r > best->correlation) {
                if (best) second = best->correlation;
                best = KeyEstimate{{tonic, minor}, *r, 0};
            } else if (!second || *r > *second) {
                second = *r;
            }
        }
    }
    best->margin = best->correlation - second.value_or(best->correlation);
    return best;
}

}  // namespace sonivex
