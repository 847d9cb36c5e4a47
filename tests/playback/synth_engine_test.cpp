#include <gtest/gtest.h>

#include <sys/mman.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "playback/player/synth_engine.h"

namespace sonivex::test {
namespace {

// The scheduling policy of each thread of this process (0 is the ordinary time-shared one), from
// /proc/self/task/*/stat: field 41, counted after the thread's name in parentheses, which may hold blanks.
std::vector<int> ThreadPolicies() {
    std::vector<int> policies;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        std::ifstream in(task.path() / "stat");
        const std::string stat{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        std::istringstream fields(stat.substr(stat.rfind(')') + 1));
        std::string field;
        for (int i = 3; i <= 41 && fields >> field; ++i) {
        }
        policies.push_back(std::stoi(field));
    }
    return policies;
}

// Regression: the render's helper threads ran at real-time priority where the program was allowed to, and took
// the cores from every other program while the sound was rendered.
TEST(SynthEngine, RendersOnSeveralOrdinaryThreads) {
    if (!std::filesystem::exists("/proc/self/task")) GTEST_SKIP() << "no /proc to read the threads from";
    const std::size_t before = ThreadPolicies().size();
    const SynthEngine engine(SampleLoading::WhenChosen, 3);
    ASSERT_TRUE(engine.Ready());
    const std::vector<int> policies = ThreadPolicies();
    EXPECT_EQ(policies.size(), before + 2);  // two helpers beside the thread that asks for the sound
    for (int policy : policies) EXPECT_EQ(policy, 0);
}

// A second General MIDI SoundFont of Debian's, when it is installed.
const std::filesystem::path kSecondFont = "/usr/share/sounds/sf2/TimGM6mb.sf2";

// The kilobytes of this process's memory that are locked (VmLck of /proc/self/status).
long LockedKilobytes() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmLck:", 0) == 0) return std::stol(line.substr(6));
    }
    return 0;
}

// Whether this process can lock `megabytes` of memory: the system may not let it, and AddressSanitizer makes
// locking do nothing.
bool CanLockMegabytes(std::size_t megabytes) {
    std::vector<char> memory(megabytes << 20, 1);
    const long before = LockedKilobytes();
    if (::mlock(memory.data(), memory.size()) != 0) return false;
    const bool locked = LockedKilobytes() > before;
    ::munlock(memory.data(), memory.size());
    return locked;
}

// A render keeps no time, so it does not lock the SoundFont's samples in memory (locking and unlocking FluidR3's
// 140 MB costs a render about 25 ms); the player locks them where the system allows it, so that no note waits
// for a sample paged out to the disk.
TEST(SynthEngine, LocksTheSamplesInMemoryForPlayingOnly) {
    if (!std::filesystem::is_regular_file(kSecondFont)) GTEST_SKIP() << "no " << kSecondFont;
    if (!std::filesystem::exists("/proc/self/status")) GTEST_SKIP() << "no /proc to read the locked memory from";
    const long before = LockedKilobytes();
    {
        const SynthEngine render(SampleLoading::AllAtOnce, 1, kSecondFont);
        ASSERT_TRUE(render.HasInstruments());
        EXPECT_EQ(LockedKilobytes(), before);
    }
    if (!CanLockMegabytes(8)) GTEST_SKIP() << "this process cannot lock a SoundFont's samples in memory";
    const SynthEngine player(SampleLoading::AllLocked, 1, kSecondFont);
    ASSERT_TRUE(player.HasInstruments());
    EXPECT_GT(LockedKilobytes(), before + 4000);  // most of the SoundFont's 6 MB
}

TEST(SynthEngine, LoadsTheChosenSoundFontAndKeepsItWhenAnotherFails) {
    if (!std::filesystem::is_regular_file(kSecondFont)) GTEST_SKIP() << "no " << kSecondFont;
    SynthEngine engine(SampleLoading::WhenChosen, 1, kSecondFont);
    ASSERT_TRUE(engine.Ready());
    EXPECT_TRUE(engine.HasInstruments());
    EXPECT_EQ(engine.LoadedSoundFont(), kSecondFont);

    const std::filesystem::path notAFont = std::filesystem::temp_directory_path() / "sonivex-not-a-font.sf2";
    std::ofstream(notAFont) << "RIFF, but not a SoundFont";
    EXPECT_EQ(engine.ReplaceSoundFont(notAFont), notAFont.string() + " could not be loaded as a SoundFont");
    EXPECT_EQ(engine.ReplaceSoundFont("/usr/share/sounds/sf2"),
              std::string("/usr/share/sounds/sf2 could not be loaded as a SoundFont"));
    EXPECT_EQ(engine.LoadedSoundFont(), kSecondFont);
    EXPECT_TRUE(engine.HasInstruments());
    EXPECT_EQ(SoundFontProblem(notAFont), notAFont.string() + " could not be loaded as a SoundFont");
    EXPECT_EQ(SoundFontProblem(kSecondFont), std::nullopt);
    std::filesystem::remove(notAFont);
}

TEST(SynthEngine, WithoutAChoiceLoadsTheDefaultSoundFont) {
    const SynthEngine engine(SampleLoading::WhenChosen);
    EXPECT_EQ(engine.LoadedSoundFont(), FindSoundFont());
    EXPECT_EQ(SoundFontOf(std::nullopt), FindSoundFont());
    EXPECT_EQ(SoundFontOf(kSecondFont), kSecondFont);
}

}  // namespace
}  // namespace sonivex::test
