// File, Recent Songs: the session's list of the songs opened last, as a submenu, kept between runs in the
// user's settings.
#pragma once

#include <QObject>
#include <functional>
#include <string>
#include <vector>

#include "app/recent_songs.h"

class QAction;
class QMenu;

namespace sonivex {

class RecentSongsMenu : public QObject {
    Q_OBJECT

public:
    // Puts the submenu into `fileMenu` before `before` (at the end when null) and reads the stored list into
    // `list`. Choosing an entry calls `open` with its path.
    RecentSongsMenu(QMenu* fileMenu, QAction* before, RecentSongs& list, std::function<void(const std::string&)> open);

    // Shows the list's entries, and stores the list when it changed since the last call.
    void Update();

    QMenu* Menu() const { return menu_; }

private:
    void Fill();

    QMenu* menu_;
    RecentSongs& list_;
    std::function<void(const std::string&)> open_;
    std::vector<std::string> shown_;
};

}  // namespace sonivex
