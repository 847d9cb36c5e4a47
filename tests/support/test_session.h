// A fresh session in its own program folder, with a scripted platform that records every message.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "midi_builder.h"
#include "app/app_platform.h"
#include "app/session.h"

namespace sonivex::test {

// Records message boxes in order; answers questions (Yes/No or Yes/No/Cancel) from a script (No once the script
// is used up).
class ScriptedPlatform : public AppPlatform {
public:
    Answer ShowMessage(const std::string& text, Buttons buttons, Icon, const std::string& title) override;
    void SetBusy(bool busy) override { busy_ = busy; }
    void LetEventsRun() override { ++eventRuns; }
    void SetCaption(const std::string& c) override { caption = c; }
    std::string ChooseFile(const FileDialogRequest& request) override;
    void ShowAbout() override { ++aboutShown; }
    void UnloadAbout() override { ++aboutUnloaded; }
    void ShowPianoRoll() override { ++pianoRollShown; }
    void CloseMainWindow() override { ++windowClosed; }
    std::intptr_t MediaWindow() override { return 4242; }
    WindowRect MediaWindowRect() override { return {100, 200, 125, 217}; }
    void InstallMediaHook() override { hookInstalled = true; }
    void RemoveMediaHook() override { hookInstalled = false; }
    bool ShowProgress(const std::string& text, double fraction) override {
        progressText = text;
        progress.push_back(fraction);
        return cancelAfter < 0 || static_cast<int>(progress.size()) < cancelAfter;
    }
    void EndProgress() override { ++progressEnded; }

    // Answers for the next questions, in order.
    void Answers(std::vector<Answer> answers) {
        answers_ = std::move(answers);
        next_ = 0;
    }

    // Paths that the next file dialogs return, in order ("" once they are used up).
    void Files(std::vector<std::string> files) {
        files_ = std::move(files);
        nextFile_ = 0;
    }

    bool busy() const { return busy_; }

    std::vector<FileDialogRequest> dialogs;
    int aboutShown = 0;
    int aboutUnloaded = 0;
    int pianoRollShown = 0;
    int windowClosed = 0;
    bool hookInstalled = false;
    std::vector<double> progress;  // every fraction shown
    std::string progressText;
    int cancelAfter = -1;  // the progress call that answers "cancel" (1 = the first); -1 never
    int progressEnded = 0;

    std::vector<std::string> messages;   // "TEXT" for OK boxes, "? TEXT" for questions
    std::vector<std::string> titles;
    std::vector<Buttons> buttons;        // the buttons of each box
    std::string caption;
    int eventRuns = 0;

private:
    std::vector<Answer> answers_;
    std::size_t next_ = 0;
    std::vector<std::string> files_;
    std::size_t nextFile_ = 0;
    bool busy_ = false;
};

// A session whose program folder is a new temporary folder holding the program's data files: an application
// session (TestSession) for the commands and the window, or a report session (ReportTestSession) for the reader
// and the report, which need no window, playback or history.
template <class SessionType>
class SessionFixture {
public:
    SessionFixture();
    ~SessionFixture();

    SessionType& operator*() { return *session_; }
    SessionType* operator->() { return session_.get(); }
    ScriptedPlatform& platform() { return platform_; }
    const std::filesystem::path& folder() const { return folder_; }

    // Writes bytes as a file in the session's own scratch folder and returns its path.
    std::filesystem::path WriteSong(const Bytes& bytes, const std::string& name = "song.mid");

    // Writes a data file of the program folder (replacing the shipped one).
    void WriteDataFile(const std::string& name, const std::string& text);

    // Loads the bytes as the Open command would (FileValid = 1, then the load) and returns FileValid.
    bool Load(const Bytes& bytes, const std::string& name = "song.mid");

    // Loads and runs the report; returns true when the report completed.
    bool LoadAndReport(const Bytes& bytes, const std::string& name = "song.mid");

    // The file's bytes, or empty when it is missing.
    static Bytes ReadBytes(const std::filesystem::path& path);
    static std::string ReadText(const std::filesystem::path& path);

    // The log file's text.
    std::string LogText();

private:
    ScriptedPlatform platform_;
    std::filesystem::path folder_;
    std::filesystem::path songs_;
    std::unique_ptr<SessionType> session_;
};

using TestSession = SessionFixture<Session>;
using ReportTestSession = SessionFixture<ReportSession>;

}  // namespace sonivex::test
