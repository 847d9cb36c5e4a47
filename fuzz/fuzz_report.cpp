// sonivex-fuzz: feeds arbitrary bytes through the Open command, from the load to the finished report, as a
// libFuzzer target. Every input is written to a file and opened in a fresh session; only the program folder
// with its data files is shared between inputs.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>

#include "app/commands.h"
#include "app/editing.h"
#include "app/app_platform.h"
#include "app/session.h"
#include "reader/timeline.h"
#include "roll/piano_roll_model.h"

namespace {

namespace fs = std::filesystem;

// Larger inputs add run time but hardly any new paths; run.sh passes the same limit to -max_len.
constexpr std::size_t kLargestInput = 64 * 1024;

[[noreturn]] void HarnessFailure(const std::string& what) {
    std::fprintf(stderr, "sonivex-fuzz: %s\n", what.c_str());
    std::abort();
}

fs::path MakeTempFolder(const char* prefix) {
    std::string pattern = (fs::temp_directory_path() / (std::string(prefix) + "XXXXXX")).string();
    if (mkdtemp(pattern.data()) == nullptr) HarnessFailure("cannot create a folder like " + pattern);
    return pattern;
}

// The folder that holds this executable and, beside it, the data files the build copies there.
fs::path ExecutableFolder() {
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (ec) HarnessFailure("cannot read /proc/self/exe: " + ec.message());
    return exe.parent_path();
}

// The two folders every input uses. Created on the first input and removed when the fuzzer exits normally;
// after a crash they stay behind in the temp folder.
struct Folders {
    fs::path program;  // genmidi.ini, style1.dat; the core writes its working copy and logs/ here
    fs::path input;    // holds input.mid, the file that is opened

    Folders() : program(MakeTempFolder("sonivex-fuzz-program-")), input(MakeTempFolder("sonivex-fuzz-input-")) {
        const fs::path from = ExecutableFolder();
        for (const char* name : {sonivex::kNameFileName, sonivex::kStyleFileName, sonivex::kEffectsFileName}) {
            std::error_code ec;
            fs::copy_file(from / name, program / name, ec);
            // The editing commands' effects list is not read by the report, so it may be missing.
            if (ec && std::string_view(name) != sonivex::kEffectsFileName) {
                HarnessFailure("cannot copy " + (from / name).string() + ": " + ec.message());
            }
        }
    }
    Folders(const Folders&) = delete;
    Folders& operator=(const Folders&) = delete;
    ~Folders() {
        std::error_code ec;
        fs::remove_all(program, ec);
        fs::remove_all(input, ec);
    }

    // Removes what an earlier input may have left in the program folder, so that each input starts from the
    // same files whatever the one before it did.
    void ClearOutputs() const {
        std::error_code ec;
        fs::remove(program / sonivex::kWorkingCopyName, ec);
        fs::remove(program / sonivex::kNotesFileName, ec);
        fs::remove_all(program / sonivex::kLogFolderName, ec);
    }
};

// FNV-1a over the whole input.
std::uint32_t HashOf(const std::uint8_t* data, std::size_t size) {
    std::uint32_t h = 2166136261u;
    for (std::size_t i = 0; i < size; ++i) h = (h ^ data[i]) * 16777619u;
    return h;
}

// Answers the questions of the load and the report from the bits of the input's hash, one bit per question
// in turn. The first byte cannot choose them: every file the load accepts begins with "MThd". With the hash,
// a small mutation of a file that asks for a repair tries the other answer too. Everything else is ignored.
class ScriptedPlatform : public sonivex::AppPlatform {
public:
    explicit ScriptedPlatform(std::uint32_t answers) : answers_(answers) {}

    sonivex::Answer ShowMessage(const std::string&, sonivex::Buttons buttons, sonivex::Icon,
                                const std::string&) override {
        if (buttons == sonivex::Buttons::Ok) return sonivex::Answer::Ok;
        const bool yes = ((answers_ >> (questions_++ % 32)) & 1u) != 0;
        return yes ? sonivex::Answer::Yes : sonivex::Answer::No;
    }
    void SetBusy(bool) override {}
    void LetEventsRun() override {}
    void SetCaption(const std::string&) override {}
    std::string ChooseFile(const sonivex::FileDialogRequest&) override { return std::exchange(file_, std::string()); }

    // The path that the next file dialog answers with.
    void Answer(const std::string& path) { file_ = path; }

private:
    std::string file_;
    std::uint32_t answers_;
    unsigned questions_ = 0;
};

void WriteInput(const fs::path& path, const std::uint8_t* data, std::size_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    out.close();
    if (!out) HarnessFailure("cannot write " + path.string());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > kLargestInput) return 0;
    static const Folders folders;
    folders.ClearOutputs();

    const fs::path input = folders.input / "input.mid";
    WriteInput(input, data, size);

    // The one reading of the song that the playing times, the piano roll and the player share.
    sonivex::PianoRollModel roll;
    roll.SetSong(sonivex::ReadTimeline({data, size}), nullptr, sonivex::RollNames{});
    sonivex::RollView view;
    view.width = 320;
    view.height = 200;
    (void)roll.Layout(view);

    ScriptedPlatform platform(HashOf(data, size));
    sonivex::Session session(platform, folders.program);
    sonivex::FormLoad(session);
    platform.Answer(input.string());
    if (sonivex::OpenCommand(session) == sonivex::OpenOutcome::Reported) {
        // The track operations rebuild the file from what the report decoded: switch one track, copy another.
        const std::uint32_t hash = HashOf(data, size);
        sonivex::FormModel& form = session.form;
        if (!form.Combo4.items.empty()) {
            form.Combo4.listIndex = static_cast<int>(hash % form.Combo4.items.size());
            sonivex::SwitchDrumMelody(session);
            form.Combo5.listIndex = static_cast<int>((hash >> 8) % form.Combo5.items.size());
            sonivex::CopyTrack(session);
        }
        // A style and an effect, chosen by the input too.
        if (!form.Combo1.items.empty()) {
            form.Combo1.listIndex = static_cast<int>((hash >> 12) % form.Combo1.items.size());
            form.Check2.ticked = (hash & 0x10000u) != 0;
            sonivex::ApplyStyle(session);
        }
        form.Combo6.listIndex = static_cast<int>((hash >> 17) % form.Combo6.items.size());
        form.Option1.selected = (hash & 0x40000000u) != 0;
        form.Option2.selected = !form.Option1.selected;
        sonivex::ApplyEffect(session);
    }
    sonivex::End1(session);
    return 0;
}
