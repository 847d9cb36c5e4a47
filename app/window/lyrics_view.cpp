#include "lyrics_view.h"

#include <QLabel>
#include <QTextBrowser>
#include <QVBoxLayout>
#include <algorithm>

namespace sonivex {

namespace {

QString Utf8(const std::string& text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

constexpr const char* kCurrentAnchor = "current";

}  // namespace

LyricsView::LyricsView(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("LyricsView"));
    auto* layout = new QVBoxLayout(this);
    title_ = new QLabel(this);
    title_->setObjectName(QStringLiteral("LyricsTitle"));
    title_->setTextFormat(Qt::PlainText);
    title_->setWordWrap(true);
    text_ = new QTextBrowser(this);
    text_->setObjectName(QStringLiteral("LyricsText"));
    text_->setOpenLinks(false);
    layout->addWidget(title_);
    layout->addWidget(text_, 1);
}

void LyricsView::ShowLyrics(const Lyrics& lyrics) {
    lyrics_ = lyrics;
    order_.clear();
    times_.clear();
    for (std::size_t line = 0; line < lyrics_.lines.size(); ++line) {
        const std::vector<LyricSyllable>& syllables = lyrics_.lines[line].syllables;
        for (std::size_t syllable = 0; syllable < syllables.size(); ++syllable) {
            order_.push_back({line, syllable});
            times_.push_back(syllables[syllable].seconds);
        }
    }
    current_.reset();
    QString heading = Utf8(lyrics_.title);
    if (!lyrics_.info.empty()) heading += (heading.isEmpty() ? QString() : QStringLiteral("\n")) + Utf8(lyrics_.info);
    title_->setText(heading);
    title_->setVisible(!heading.isEmpty());
    Render();
}

void LyricsView::ShowPosition(double seconds) {
    // The syllables are sung in the order they stand; the last one whose time has come is the one sung now.
    const auto after = std::upper_bound(times_.begin(), times_.end(), seconds);
    std::optional<Place> now;
    if (after != times_.begin()) now = order_[static_cast<std::size_t>(after - times_.begin() - 1)];
    if (now == current_) return;
    current_ = now;
    Render();
    if (current_) text_->scrollToAnchor(QString::fromLatin1(kCurrentAnchor));
}

QStringList LyricsView::Lines() const {
    QStringList lines;
    for (const LyricLine& line : lyrics_.lines) {
        QString text;
        for (const LyricSyllable& syllable : line.syllables) text += Utf8(syllable.text);
        lines << text;
    }
    return lines;
}

void LyricsView::Render() {
    QString html;
    for (std::size_t line = 0; line < lyrics_.lines.size(); ++line) {
        const LyricLine& shown = lyrics_.lines[line];
        html += shown.startsVerse ? QStringLiteral("<p style=\"margin-top:1em\">") : QStringLiteral("<p>");
        for (std::size_t syllable = 0; syllable < shown.syllables.size(); ++syllable) {
            const QString text = Utf8(shown.syllables[syllable].text).toHtmlEscaped();
            if (current_ && *current_ == Place{line, syllable}) {
                html += QStringLiteral("<a name=\"%1\"></a><span style=\"background-color:#ffd54f; font-weight:bold\">%2"
                                       "</span>")
                            .arg(QString::fromLatin1(kCurrentAnchor), text);
            } else {
                html += text;
            }
        }
        html += QStringLiteral("</p>");
    }
    text_->setHtml(html);
}

}  // namespace sonivex
