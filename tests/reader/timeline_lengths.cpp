// Prints the decoded playing times of MIDI files, one line per file, for comparison with another reader:
// PATH<TAB>FORMAT<TAB>DIVISION<TAB>TRACKS<TAB>SECONDS<TAB>TRACK SECONDS (comma-separated)
#include <cstdio>
#include <fstream>
#include <iterator>
#include <vector>

#include "reader/timeline.h"

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        std::ifstream in(argv[i], std::ios::binary);
        if (!in) {
            std::fprintf(stderr, "cannot read %s\n", argv[i]);
            return 1;
        }
        const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const sonivex::Timeline t = sonivex::ReadTimeline(bytes);
        std::printf("%s\t%d\t%d\t%zu\t%.9f\t", argv[i], t.format, t.division, t.tracks.size(), t.durationSeconds);
        for (std::size_t k = 0; k < t.tracks.size(); ++k) std::printf("%s%.9f", k ? "," : "", t.tracks[k].seconds);
        std::printf("\n");
    }
    return 0;
}
