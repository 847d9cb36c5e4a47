#include "preferences_dialog.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <utility>

#include "reader/platform.h"

namespace sonivex {

namespace {

constexpr const char* kSoundFontFilter = "SoundFont files (*.sf2 *.sf3)|*.sf2;*.sf3|All files (*.*)|*.*";
constexpr const char* kSoundFontFolder = "/usr/share/sounds/sf2";

QString Shown(const std::filesystem::path& path) { return QString::fromLocal8Bit(path.string()); }

}  // namespace

OutputList::OutputList(std::function<std::vector<std::string>()> ports, const std::optional<std::string>& chosen,
                       QWidget* parent)
    : QComboBox(parent), ports_(std::move(ports)) {
    addItem(QLatin1String(kBuiltInSynthesizer));
    if (chosen) addItem(QString::fromStdString(*chosen), QString::fromStdString(*chosen));
    setCurrentIndex(count() - 1);
    Refill();
}

std::optional<std::string> OutputList::Chosen() const {
    const QString port = currentData().toString();
    if (port.isEmpty()) return std::nullopt;
    return port.toStdString();
}

void OutputList::Refill() {
    const std::optional<std::string> chosen = Chosen();
    const std::vector<std::string> ports = ports_ ? ports_() : std::vector<std::string>();
    while (count() > 1) removeItem(count() - 1);
    bool found = false;
    for (const std::string& port : ports) {
        addItem(QString::fromStdString(port), QString::fromStdString(port));
        if (chosen && port == *chosen) {
            setCurrentIndex(count() - 1);
            found = true;
        }
    }
    if (chosen && !found) {
        addItem(QString::fromStdString(*chosen) + QStringLiteral(" (not connected)"), QString::fromStdString(*chosen));
        setCurrentIndex(count() - 1);
    }
    if (!chosen) setCurrentIndex(0);
}

void OutputList::showPopup() {
    Refill();
    QComboBox::showPopup();
}

PreferencesDialog::PreferencesDialog(const PlaybackSettings& current, const PlaybackHooks& hooks,
                                     AppPlatform& platform, QWidget* parent)
    : QDialog(parent), hooks_(hooks), platform_(platform), soundFont_(current.soundFont), lastFile_(current.soundFont) {
    setObjectName(QStringLiteral("PreferencesDialog"));
    setWindowTitle(QStringLiteral("Preferences"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(BuildSoundFontChoice());

    auto* outputBox = new QGroupBox(QStringLiteral("Output"), this);
    auto* outputLayout = new QFormLayout(outputBox);
    output_ = new OutputList(hooks_.outputPorts, current.outputPort, outputBox);
    output_->setObjectName(QStringLiteral("OutputList"));
    output_->setToolTip(QStringLiteral("Where playback goes: the built-in synthesizer or a MIDI port"));
    outputLayout->addRow(QStringLiteral("&Play through:"), output_);
    layout->addWidget(outputBox);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    ShowSoundFont();
}

QWidget* PreferencesDialog::BuildSoundFontChoice() {
    auto* box = new QGroupBox(QStringLiteral("SoundFont"), this);
    auto* layout = new QVBoxLayout(box);
    const std::optional<std::filesystem::path> standard =
        hooks_.defaultSoundFont ? hooks_.defaultSoundFont() : std::nullopt;
    default_ = new QRadioButton(
        QStringLiteral("&Default: ") + (standard ? Shown(*standard) : QStringLiteral("none installed")), box);
    default_->setObjectName(QStringLiteral("DefaultSoundFont"));
    layout->addWidget(default_);

    auto* fileRow = new QHBoxLayout;
    file_ = new QRadioButton(QStringLiteral("&File:"), box);
    file_->setObjectName(QStringLiteral("FileSoundFont"));
    fileName_ = new QLabel(box);
    fileName_->setObjectName(QStringLiteral("SoundFontFile"));
    fileName_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* choose = new QPushButton(QStringLiteral("&Choose..."), box);
    choose->setObjectName(QStringLiteral("ChooseSoundFont"));
    choose->setToolTip(QStringLiteral("Choose a SoundFont file (.sf2 or .sf3)"));
    fileRow->addWidget(file_);
    fileRow->addWidget(fileName_, 1);
    fileRow->addWidget(choose);
    layout->addLayout(fileRow);

    connect(default_, &QRadioButton::clicked, this, [this] {
        soundFont_.reset();
        ShowSoundFont();
    });
    connect(file_, &QRadioButton::clicked, this, [this] {
        if (lastFile_) {
            soundFont_ = lastFile_;
            ShowSoundFont();
        } else {
            ChooseSoundFont();
        }
    });
    connect(choose, &QPushButton::clicked, this, &PreferencesDialog::ChooseSoundFont);
    return box;
}

void PreferencesDialog::ChooseSoundFont() {
    FileDialogRequest request;
    request.title = "Choose a SoundFont";
    request.filter = kSoundFontFilter;
    request.initialFolder = lastFile_ ? lastFile_->parent_path().string() : std::string(kSoundFontFolder);
    const std::string chosen = platform_.ChooseFile(request);
    if (!chosen.empty()) {
        const std::optional<std::string> problem =
            hooks_.soundFontProblem ? hooks_.soundFontProblem(chosen) : std::nullopt;
        if (problem) {
            platform_.ShowMessage(*problem, Buttons::Ok, Icon::Warning, kAppTitle);
        } else {
            soundFont_ = lastFile_ = std::filesystem::path(chosen);
        }
    }
    ShowSoundFont();
}

void PreferencesDialog::ShowSoundFont() {
    default_->setChecked(!soundFont_);
    file_->setChecked(soundFont_.has_value());
    fileName_->setText(lastFile_ ? Shown(*lastFile_) : QStringLiteral("(none chosen)"));
}

PlaybackSettings PreferencesDialog::Settings() const { return {soundFont_, output_->Chosen()}; }

}  // namespace sonivex
