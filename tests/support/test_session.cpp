#include "test_session.h"

#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <type_traits>

#include "reader/name_tables.h"
#include "app/commands.h"
#include "reader/load.h"
#include "report/report.h"

namespace sonivex::test {

Answer ScriptedPlatform::ShowMessage(const std::string& text, Buttons buttons, Icon, const std::string& title) {
    titles.push_back(title);
    this->buttons.push_back(buttons);
    if (buttons == Buttons::Ok) {
        messages.push_back(text);
        return Answer::Ok;
    }
    messages.push_back("? " + text);
    return next_ < answers_.size() ? answers_[next_++] : Answer::No;
}

std::string ScriptedPlatform::ChooseFile(const FileDialogRequest& request) {
    dialogs.push_back(request);
    return nextFile_ < files_.size() ? files_[nextFile_++] : std::string();
}

template <class SessionType>
SessionFixture<SessionType>::SessionFixture() {
    std::random_device rd;
    const auto base = std::filesystem::temp_directory_path() / ("sonivex-test-" + std::to_string(rd()) + std::to_string(rd()));
    folder_ = base / "program";
    songs_ = base / "songs";
    std::filesystem::create_directories(folder_);
    std::filesystem::create_directories(songs_);
    for (const char* name : {"genmidi.ini", "style1.dat", "effects1.dat"}) {
        std::filesystem::copy_file(std::filesystem::path(SONIVEX_DATA_DIR) / name, folder_ / name);
    }
    session_ = std::make_unique<SessionType>(platform_, Folders::InOne(folder_));
    if constexpr (std::is_same_v<SessionType, Session>) {
        FormLoad(*session_);
    } else {
        std::filesystem::create_directories(session_->LogFolder());
    }
}

template <class SessionType>
SessionFixture<SessionType>::~SessionFixture() {
    session_.reset();
    std::error_code ec;
    std::filesystem::remove_all(folder_.parent_path(), ec);
}

template <class SessionType>
std::filesystem::path SessionFixture<SessionType>::WriteSong(const Bytes& bytes, const std::string& name) {
    const auto path = songs_ / name;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return path;
}

template <class SessionType>
void SessionFixture<SessionType>::WriteDataFile(const std::string& name, const std::string& text) {
    std::ofstream out(folder_ / name, std::ios::binary | std::ios::trunc);
    out << text;
}

template <class SessionType>
bool SessionFixture<SessionType>::Load(const Bytes& bytes, const std::string& name) {
    session_->song.SourcePath = WriteSong(bytes, name).string();
    session_->song.FileValid = true;
    LoadFile(*session_);
    return session_->song.FileValid;
}

template <class SessionType>
bool SessionFixture<SessionType>::LoadAndReport(const Bytes& bytes, const std::string& name) {
    if (!Load(bytes, name)) return false;
    return BuildReport(*session_) == ReportOutcome::Done;
}

template <class SessionType>
Bytes SessionFixture<SessionType>::ReadBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

template <class SessionType>
std::string SessionFixture<SessionType>::ReadText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

template <class SessionType>
std::string SessionFixture<SessionType>::LogText() {
    session_->song.Log.Flush();
    return ReadText(session_->song.Log.Path());
}

template class SessionFixture<Session>;
template class SessionFixture<ReportSession>;

}  // namespace sonivex::test
