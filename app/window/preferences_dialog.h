// Edit, Preferences...: the SoundFont that the built-in synthesizer plays and exports with (the default one or
// a file the user chooses), and the output that playback goes to (the built-in synthesizer or a MIDI port).
// The dialog changes nothing itself: the window takes its settings when OK is pressed.
#pragma once

#include <QComboBox>
#include <QDialog>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/app_platform.h"
#include "playback/playback_settings.h"

class QLabel;
class QRadioButton;

namespace sonivex {

// What the Preferences dialog and the window need of the playback set-up, which the window library does not
// link itself: main() gives FluidSynth's, a test its doubles.
struct PlaybackHooks {
    // The file that "Default" stands for; none when no SoundFont is installed.
    std::function<std::optional<std::filesystem::path>()> defaultSoundFont;
    // Why a file cannot be loaded as a SoundFont (a message naming it); none when it can.
    std::function<std::optional<std::string>(const std::filesystem::path&)> soundFontProblem;
    // The MIDI output ports there are now, by name; asked each time the Output list opens.
    std::function<std::vector<std::string>()> outputPorts;
    // Makes playback and audio export follow `settings` from now on.
    std::function<void(const PlaybackSettings&)> use;
};

// The caption of the Output list's first entry.
inline constexpr const char* kBuiltInSynthesizer = "Built-in synthesizer (FluidSynth)";

// The Output list: the built-in synthesizer, then the ports that `ports` names, filled again each time the
// list opens. A remembered port that is not there now stays in the list, marked so, until another is chosen.
class OutputList : public QComboBox {
    Q_OBJECT

public:
    OutputList(std::function<std::vector<std::string>()> ports, const std::optional<std::string>& chosen,
               QWidget* parent);

    // The port chosen; none for the built-in synthesizer.
    std::optional<std::string> Chosen() const;

    // Fills the list from the ports there are now, keeping the entry chosen.
    void Refill();

    void showPopup() override;

private:
    std::function<std::vector<std::string>()> ports_;
};

class PreferencesDialog : public QDialog {
    Q_OBJECT

public:
    // Shows `current`; file choosers and messages go through `platform`.
    PreferencesDialog(const PlaybackSettings& current, const PlaybackHooks& hooks, AppPlatform& platform,
                      QWidget* parent);

    // The settings as the dialog shows them.
    PlaybackSettings Settings() const;

private:
    QWidget* BuildSoundFontChoice();
    // Asks for a SoundFont file; one that FluidSynth cannot load gives its message and the choice before
    // stays.
    void ChooseSoundFont();
    void ShowSoundFont();

    const PlaybackHooks& hooks_;
    AppPlatform& platform_;
    std::optional<std::filesystem::path> soundFont_;  // none: the default
    std::optional<std::filesystem::path> lastFile_;   // the file that "File" stands for
    QRadioButton* default_ = nullptr;
    QRadioButton* file_ = nullptr;
    QLabel* fileName_ = nullptr;
    OutputList* output_ = nullptr;
};

}  // namespace sonivex
