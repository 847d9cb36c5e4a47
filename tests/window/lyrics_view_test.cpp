// The lyrics view: the lines of a karaoke file and the syllable sung at a time.
#include <QLabel>
#include <QTextBlock>
#include <QTest>
#include <QTextBrowser>
#include <filesystem>

#include "app/window/lyrics_view.h"
#include "reader/files.h"
#include "support/midi_builder.h"

namespace sonivex::test {

namespace {

// The text of the view that is shown bold: the highlighted syllable.
QString Highlighted(const LyricsView& view) {
    QString bold;
    const QTextDocument* document = view.findChild<QTextBrowser*>(QStringLiteral("LyricsText"))->document();
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        for (auto fragment = block.begin(); !fragment.atEnd(); ++fragment) {
            if (fragment.fragment().charFormat().fontWeight() >= QFont::Bold) bold += fragment.fragment().text();
        }
    }
    return bold;
}

}  // namespace

class LyricsViewTest : public QObject {
    Q_OBJECT

private slots:
    void ShowsTheLinesOfAKaraokeFileUnderItsTitle() {
        const std::optional<Bytes> file =
            ReadWholeFile(std::filesystem::path(SONIVEX_TEST_MIDI_DIR) / "test-karaoke-kar.mid");
        QVERIFY(file);
        const Lyrics lyrics = ReadLyrics(*file, LyricEvents::Texts);
        QVERIFY(LyricsView::HasLyrics(lyrics));
        LyricsView view;
        view.ShowLyrics(lyrics);
        QCOMPARE(view.Lines(), (QStringList{"Mary was a little lame,", "Little lame,", "Little lame,",
                                            "Mary was a little lame,", "A little lame was she!"}));
        QCOMPARE(view.findChild<QLabel*>(QStringLiteral("LyricsTitle"))->text(),
                 QStringLiteral("Mary Was A Little Lame"));
        QVERIFY(!view.Current());
    }

    void HighlightsTheSyllableSungAtThePosition() {
        // Three syllables at 0, 0.5 and 1 s (96 ticks a quarter, half a second each), the last on a line of its
        // own.
        Track words;
        words.Meta(0, 0x05, "Hel").Meta(96, 0x05, "lo\r").Meta(96, 0x05, "\xC3\xBC" "ber").End();
        LyricsView view;
        view.ShowLyrics(ReadLyrics(MidiFile().Add(words).Build(), LyricEvents::Lyrics));
        QCOMPARE(view.Lines(), (QStringList{"Hello", QString::fromUtf8("\xC3\xBC" "ber")}));
        view.ShowPosition(-1);
        QVERIFY(!view.Current());
        view.ShowPosition(0.7);
        QCOMPARE(*view.Current(), (LyricsView::Place{0, 1}));
        QCOMPARE(Highlighted(view), QStringLiteral("lo"));  // only the syllable sung now stands out
        view.ShowPosition(1.0);
        QCOMPARE(*view.Current(), (LyricsView::Place{1, 0}));
        QCOMPARE(Highlighted(view), QString::fromUtf8("\xC3\xBC" "ber"));
        view.ShowPosition(0.2);  // back after a seek
        QCOMPARE(*view.Current(), (LyricsView::Place{0, 0}));
        QVERIFY(!LyricsView::HasLyrics(Lyrics{}));
    }
};

int RunLyricsViewTests(int argc, char** argv) {
    LyricsViewTest test;
    return QTest::qExec(&test, argc, argv);
}

}  // namespace sonivex::test

#include "lyrics_view_test.moc"
