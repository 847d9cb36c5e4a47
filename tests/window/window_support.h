// What the window tests share: a program folder with the data files, a main window whose dialogs answer from a
// script, and a way to act on a real modal dialog from inside its event loop.
#pragma once

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "app/window/main_window.h"
#include "support/midi_builder.h"

namespace sonivex::test {

// A temporary program folder holding the program's data files, and room for songs.
class ProgramFolder {
public:
    ProgramFolder() {
        for (const char* name : {"genmidi.ini", "style1.dat", "effects1.dat"}) {
            QFile::copy(QStringLiteral(SONIVEX_DATA_DIR "/") + QLatin1String(name), dir_.filePath(QLatin1String(name)));
        }
    }
    std::filesystem::path Path() const { return dir_.path().toStdString(); }

    // Writes a song's bytes as a file in the folder and returns its full path.
    std::string WriteSong(const Bytes& bytes, const std::string& name = "song.mid") const {
        const std::filesystem::path path = Path() / name;
        QFile file(QString::fromStdString(path.string()));
        if (!file.open(QIODevice::WriteOnly)) return {};
        file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
        return path.string();
    }

private:
    QTemporaryDir dir_;
};

// A two-track song: one note on channel 1 in the first track, an empty second track.
inline Bytes TwoTrackSong() {
    return MidiFile().Add(Track().NoteOn(0, 0, 60, 100).NoteOff(96, 0, 60).End()).Add(Track().End()).Build();
}

// A main window whose message boxes and file dialogs answer from a script and record what they were asked.
class ScriptedWindow : public MainWindow {
public:
    explicit ScriptedWindow(const std::filesystem::path& folder) : MainWindow(folder) {}

    std::vector<std::string> files;  // answers of the next file dialogs, in order; "" once used up
    std::vector<Answer> answers;     // answers of the next Yes/No questions, in order; No once used up
    std::vector<FileDialogRequest> dialogs;
    std::vector<std::string> messages;
    std::vector<std::string> titles;
    std::vector<Icon> icons;
    std::vector<Buttons> buttons;

protected:
    Answer ShowMessageBox(const std::string& text, Buttons kind, Icon icon, const std::string& title) override {
        messages.push_back(text);
        titles.push_back(title);
        icons.push_back(icon);
        buttons.push_back(kind);
        if (kind == Buttons::Ok) return Answer::Ok;
        if (answers.empty()) return Answer::No;
        const Answer answer = answers.front();
        answers.erase(answers.begin());
        return answer;
    }
    std::string ShowFileDialog(const FileDialogRequest& request) override {
        dialogs.push_back(request);
        if (files.empty()) return {};
        const std::string file = files.front();
        files.erase(files.begin());
        return file;
    }
};

// Runs `act` on the first modal window that appears, from inside that window's own event loop.
inline void WhenModalAppears(std::function<void(QWidget*)> act) {
    auto* poll = new QTimer;
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, [poll, act = std::move(act)] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr || !modal->isVisible()) return;
        poll->stop();
        poll->deleteLater();
        act(modal);
    });
    poll->start();
}

// Pixels for twips at a logical dpi, worked out here on its own: 1440 twips to the inch.
inline int Pixels(int twips, int dpi) { return static_cast<int>(twips * dpi / 1440.0 + 0.5); }

// A place in twips (left, top, width, height) in pixels: the edges are rounded, so what meets in twips meets
// in pixels.
inline QRect PixelRect(int left, int top, int width, int height, int dpiX, int dpiY) {
    const int x = Pixels(left, dpiX);
    const int y = Pixels(top, dpiY);
    return {x, y, Pixels(left + width, dpiX) - x, Pixels(top + height, dpiY) - y};
}

}  // namespace sonivex::test
