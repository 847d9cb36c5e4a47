// The main window's "Overview" tab: the song at a glance (title, playing time, tempo with its plot when it
// changes, signatures, style, complexity, volume), its instruments and instrument groups as bars, and the
// track list, in which a track's instrument can be chosen and a track muted or soloed. Without a song it shows
// how to open one and the recent songs. It shows an OverviewModel (overview_model.h) and hands what the user
// does to the main window through its signals; it changes nothing itself.
#pragma once

#include <QWidget>
#include <string>
#include <vector>

#include "app/track_mix.h"
#include "app/window/overview_model.h"

class QBoxLayout;
class QLabel;
class QScrollArea;
class QStackedWidget;
class QTableWidget;
class QTableWidgetItem;
class QVBoxLayout;

namespace sonivex {

class BarChart;
class TempoPlot;

class OverviewView : public QWidget {
    Q_OBJECT

public:
    // The track list's columns.
    enum Column { kNumber, kName, kChannels, kInstrument, kNotes, kMute, kSolo, kColumns };

    explicit OverviewView(QWidget* parent = nullptr);

    // Shows the song of `model`, the mute and solo ticks of `mix` in its track list, and `names` in the
    // instrument lists. Without a song in the model, the start page shows instead.
    void ShowSong(const OverviewModel& model, const OverviewNames& names, const TrackMix& mix);
    // The start page: how to open a song, and the recent songs (newest first) to open with a click.
    void ShowStart(const std::vector<std::string>& recentSongs);

    const OverviewModel& Model() const { return model_; }
    QTableWidget* TrackList() const { return tracks_; }

signals:
    // The user chose program `program` (0 to 127) for track `track` (1-based) in its instrument list.
    void InstrumentChosen(int track, int program);
    // The user ticked or cleared a track's Mute or Solo (`track` 0-based).
    void MuteChosen(int track, bool muted);
    void SoloChosen(int track, bool soloed);
    // A recent song of the start page was clicked.
    void RecentSongChosen(const std::string& path);

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QWidget* BuildSongPage();
    QWidget* BuildStartPage();
    void FillFacts();
    void FillTracks(const TrackMix& mix);
    void TrackItemChanged(QTableWidgetItem* item);
    // One column beside the charts when there is room, else the track list below them.
    void Reflow();

    OverviewModel model_;
    OverviewNames names_;
    QStackedWidget* pages_ = nullptr;
    QScrollArea* songScroll_ = nullptr;
    QBoxLayout* columns_ = nullptr;
    QWidget* trackBox_ = nullptr;
    QLabel* title_ = nullptr;
    QLabel* songName_ = nullptr;
    std::vector<QLabel*> facts_;
    QLabel* tempoCaption_ = nullptr;
    TempoPlot* tempoPlot_ = nullptr;
    BarChart* instruments_ = nullptr;
    BarChart* groups_ = nullptr;
    QTableWidget* tracks_ = nullptr;
    QVBoxLayout* recentList_ = nullptr;
    QLabel* noRecent_ = nullptr;
    bool filling_ = false;
};

}  // namespace sonivex
