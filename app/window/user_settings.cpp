#include "user_settings.h"

#include <QString>

namespace sonivex {

namespace {

const char* const kSoundFontKey = "Playback/SoundFont";
const char* const kOutputPortKey = "Playback/OutputPort";

}  // namespace

QSettings UserSettings() {
    return QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Sonivex"), QStringLiteral("Sonivex"));
}

PlaybackSettings ReadPlaybackSettings() {
    const QSettings settings = UserSettings();
    PlaybackSettings playback;
    const QString font = settings.value(QLatin1String(kSoundFontKey)).toString();
    if (!font.isEmpty()) playback.soundFont = std::filesystem::path(font.toLocal8Bit().toStdString());
    const QString port = settings.value(QLatin1String(kOutputPortKey)).toString();
    if (!port.isEmpty()) playback.outputPort = port.toStdString();
    return playback;
}

void StorePlaybackSettings(const PlaybackSettings& playback) {
    QSettings settings = UserSettings();
    // No key at all stands for the default, so that a later default is followed.
    if (playback.soundFont) {
        settings.setValue(QLatin1String(kSoundFontKey), QString::fromLocal8Bit(playback.soundFont->string()));
    } else {
        settings.remove(QLatin1String(kSoundFontKey));
    }
    if (playback.outputPort) {
        settings.setValue(QLatin1String(kOutputPortKey), QString::fromStdString(*playback.outputPort));
    } else {
        settings.remove(QLatin1String(kOutputPortKey));
    }
}

}  // namespace sonivex
