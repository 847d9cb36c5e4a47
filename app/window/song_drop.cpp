#include "song_drop.h"

#include <QFileInfo>
#include <QMimeData>
#include <QUrl>

namespace sonivex {

std::optional<std::string> DroppedSong(const QMimeData* data) {
    if (data == nullptr || !data->hasUrls()) return std::nullopt;
    const QList<QUrl> urls = data->urls();
    if (urls.size() != 1 || !urls.front().isLocalFile()) return std::nullopt;
    const QString path = urls.front().toLocalFile();
    if (QFileInfo(path).isDir()) return std::nullopt;
    return path.toLocal8Bit().toStdString();
}

}  // namespace sonivex
