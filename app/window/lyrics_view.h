// The words of the song to sing along: its lines under its title, the syllable being sung highlighted while
// the song plays.
#pragma once

#include <QWidget>
#include <optional>
#include <vector>

#include "midi/lyrics.h"

class QLabel;
class QTextBrowser;

namespace sonivex {

class LyricsView : public QWidget {
    Q_OBJECT

public:
    explicit LyricsView(QWidget* parent = nullptr);

    // Shows the words of a song (midi/lyrics.h) line by line, a verse apart from the one before, with the
    // title and information of a karaoke file above them; nothing is highlighted until ShowPosition.
    void ShowLyrics(const Lyrics& lyrics);

    // Highlights the syllable sung at `seconds` into the song (the last one whose time has come; none before
    // the first) and scrolls its line into view.
    void ShowPosition(double seconds);

    // Whether a song has words to show.
    static bool HasLyrics(const Lyrics& lyrics) { return !lyrics.lines.empty(); }

    // The place of a syllable: its line and its place in the line, from 0.
    struct Place {
        std::size_t line;
        std::size_t syllable;
        bool operator==(const Place&) const = default;
    };
    // The syllable highlighted now; none before the first.
    std::optional<Place> Current() const { return current_; }
    // The lines as shown, syllables joined.
    QStringList Lines() const;

private:
    void Render();

    QLabel* title_ = nullptr;
    QTextBrowser* text_ = nullptr;
    Lyrics lyrics_;
    std::vector<Place> order_;     // every syllable in the order it is sung
    std::vector<double> times_;    // its time, for each of order_
    std::optional<Place> current_;
};

}  // namespace sonivex
