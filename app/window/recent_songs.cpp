#include "recent_songs.h"

#include <QAction>
#include <QDir>
#include <QMenu>
#include <QSettings>
#include <QStringList>

#include "app/window/user_settings.h"

namespace sonivex {

namespace {

const char* const kSettingsKey = "RecentSongs";

}  // namespace

RecentSongsMenu::RecentSongsMenu(QMenu* fileMenu, QAction* before, RecentSongs& list,
                                 std::function<void(const std::string&)> open)
    : QObject(fileMenu),
      menu_(new QMenu(QStringLiteral("&Recent Songs"), fileMenu)),
      list_(list),
      open_(std::move(open)) {
    menu_->setObjectName(QStringLiteral("mnuRecent"));
    menu_->menuAction()->setObjectName(QStringLiteral("mnuRecentSongs"));
    menu_->menuAction()->setToolTip(QStringLiteral("Open one of the songs opened last"));
    fileMenu->insertMenu(before, menu_);
    std::vector<std::string> stored;
    for (const QString& path : UserSettings().value(QLatin1String(kSettingsKey)).toStringList()) {
        stored.push_back(path.toLocal8Bit().toStdString());
    }
    list_.Assign(stored);
    Fill();
}

void RecentSongsMenu::Update() {
    if (shown_ == list_.Paths()) return;
    Fill();
    QStringList paths;
    for (const std::string& path : shown_) paths << QString::fromLocal8Bit(path);
    QSettings settings = UserSettings();
    settings.setValue(QLatin1String(kSettingsKey), paths);
}

void RecentSongsMenu::Fill() {
    shown_ = list_.Paths();
    // The entry chosen may be the one running now: old entries go once its signal is done.
    for (QAction* old : menu_->actions()) {
        menu_->removeAction(old);
        old->setObjectName(QString());
        old->deleteLater();
    }
    int number = 1;
    for (const std::string& path : shown_) {
        QString shownPath = QDir::toNativeSeparators(QString::fromLocal8Bit(path));
        // The number is the entry's access key; "&&" shows one "&".
        shownPath.replace(QLatin1Char('&'), QStringLiteral("&&"));
        const QString caption = QStringLiteral("&%1 ").arg(number) + shownPath;
        QAction* action = menu_->addAction(caption);
        action->setObjectName(QStringLiteral("mnuRecent%1").arg(number));
        connect(action, &QAction::triggered, this, [this, path] { open_(path); });
        ++number;
    }
    menu_->setEnabled(!shown_.empty());
}

}  // namespace sonivex
