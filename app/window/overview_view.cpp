#include "overview_view.h"

#include <QApplication>
#include <QBoxLayout>
#include <QComboBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QStackedWidget>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QTimer>
#include <algorithm>
#include <cmath>

namespace sonivex {

namespace {

// The model's texts from the song and genmidi.ini are bytes; each byte shows as the Latin-1 character of its
// number, as in the report pane.
QString Latin1(const std::string& text) { return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())); }

// The most bars a chart shows; the rest are counted below it.
constexpr int kMostBars = 12;
// From this width on the track list stands beside the charts instead of below them.
constexpr int kTwoColumnWidth = 780;
// The widest a chart grows: longer bars read no better.
constexpr int kWidestChart = 560;
// The most rows the track list shows below the charts before it scrolls by itself.
constexpr int kMostRowsInline = 16;

constexpr int kProgramRole = Qt::UserRole;     // the instrument cell's program, -1 without one
constexpr int kDrumsRole = Qt::UserRole + 1;   // the instrument cell's track is a drum track

// The facts beside each other: object name, caption, tip.
struct Fact {
    const char* name;
    const char* caption;
    const char* tip;
};
constexpr Fact kFacts[] = {
    {"OverviewDuration", "Duration", "How long the song plays, through its tempo changes (minutes:seconds)"},
    {"OverviewTempo", "Tempo", "The song's speed in beats a minute; a range when it changes (see the plot)"},
    {"OverviewTimeSignatures", "Time signature", "The song's time signatures, in the order they come"},
    {"OverviewKeySignatures", "Key", "The song's key signatures, in the order they come, and the key estimated from its notes"},
    {"OverviewStyle", "Style", "The style that the song's instruments match best (from style1.dat)"},
    {"OverviewComplexity", "Complexity", "How busy the song is: more notes, instruments and rhythms score higher"},
    {"OverviewVolume", "Average volume", "The notes' average velocity, from 1 (softest) to 127 (loudest)"},
    {"OverviewTracks", "Tracks", "How many tracks and notes the song has, and its file format"},
};

}  // namespace

// Horizontal bars, one a row: the name, a bar as long as its share and the value at its end.
class BarChart : public QWidget {
public:
    explicit BarChart(QWidget* parent) : QWidget(parent) {
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        setMaximumWidth(kWidestChart);
    }
    void SetBars(std::vector<OverviewBar> bars) {
        bars_ = std::move(bars);
        updateGeometry();
        update();
    }
    const std::vector<OverviewBar>& Bars() const { return bars_; }
    int Shown() const { return std::min<int>(kMostBars, static_cast<int>(bars_.size())); }

    QSize sizeHint() const override {
        const int rows = std::max(1, Shown() + (static_cast<int>(bars_.size()) > kMostBars ? 1 : 0));
        return {320, rows * RowHeight() + 4};
    }
    QSize minimumSizeHint() const override { return {200, sizeHint().height()}; }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QFontMetrics metrics = fontMetrics();
        if (bars_.empty()) {
            p.setPen(palette().color(QPalette::PlaceholderText));
            p.drawText(rect().adjusted(4, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("none"));
            return;
        }
        const int nameWidth = std::clamp(width() * 2 / 5, 90, 220);
        const int valueWidth = metrics.horizontalAdvance(QStringLiteral("0000000")) + 6;
        const int barRoom = std::max(10, width() - nameWidth - valueWidth - 8);
        const QColor melody = palette().color(QPalette::Highlight);
        const QColor rhythm = QColor::fromHsv((melody.hsvHue() + 150) % 360, std::max(90, melody.hsvSaturation()),
                                              std::max(150, melody.value()));
        for (int i = 0; i < Shown(); ++i) {
            const OverviewBar& bar = bars_[static_cast<std::size_t>(i)];
            const int y = 2 + i * RowHeight();
            const QRect nameRect(2, y, nameWidth - 6, RowHeight());
            p.setPen(palette().color(QPalette::WindowText));
            p.drawText(nameRect, Qt::AlignLeft | Qt::AlignVCenter,
                       metrics.elidedText(Latin1(bar.name), Qt::ElideRight, nameRect.width()));
            const int length = std::max(2, static_cast<int>(std::lround(bar.share * barRoom)));
            const QRectF barRect(nameWidth, y + 3, length, RowHeight() - 6);
            p.setPen(Qt::NoPen);
            p.setBrush(bar.rhythm ? rhythm : melody);
            p.drawRoundedRect(barRect, 2, 2);
            p.setPen(palette().color(QPalette::WindowText));
            p.drawText(QRect(nameWidth + length + 4, y, valueWidth, RowHeight()), Qt::AlignLeft | Qt::AlignVCenter,
                       QString::fromStdString(bar.value));
        }
        if (static_cast<int>(bars_.size()) > kMostBars) {
            p.setPen(palette().color(QPalette::PlaceholderText));
            p.drawText(QRect(2, 2 + Shown() * RowHeight(), width() - 4, RowHeight()), Qt::AlignLeft | Qt::AlignVCenter,
                       QStringLiteral("and %1 more (see the Report)").arg(bars_.size() - kMostBars));
        }
    }

private:
    int RowHeight() const { return fontMetrics().height() + 6; }
    std::vector<OverviewBar> bars_;
};

// The tempo over the song's time, as steps: each tempo holds until the next change.
class TempoPlot : public QWidget {
public:
    explicit TempoPlot(QWidget* parent) : QWidget(parent) {
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    }
    void SetTempo(const OverviewModel& model) {
        points_ = model.tempoPlot;
        low_ = model.lowestBpm;
        high_ = model.highestBpm;
        length_ = model.lengthSeconds;
        update();
    }
    QSize sizeHint() const override { return {320, fontMetrics().height() * 2 + 70}; }
    QSize minimumSizeHint() const override { return {200, sizeHint().height()}; }

protected:
    void paintEvent(QPaintEvent*) override {
        if (points_.empty()) return;
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QFontMetrics metrics = fontMetrics();
        const QString top = QString::fromStdString(OverviewBpm(high_));
        const QString bottom = QString::fromStdString(OverviewBpm(low_));
        const int left = std::max(metrics.horizontalAdvance(top), metrics.horizontalAdvance(bottom)) + 8;
        const QRectF area(left, metrics.height() / 2.0 + 2, width() - left - 8, height() - metrics.height() * 2 - 6);
        p.fillRect(area, palette().color(QPalette::Base));
        p.setPen(palette().color(QPalette::Mid));
        p.drawRect(area);
        const double span = std::max(1e-9, high_ - low_);
        const double seconds = std::max(1e-9, length_);
        const auto x = [&](double s) { return area.left() + std::clamp(s / seconds, 0.0, 1.0) * area.width(); };
        const auto y = [&](double bpm) { return area.bottom() - 4 - (bpm - low_) / span * (area.height() - 8); };
        QPainterPath path;
        path.moveTo(x(points_.front().seconds), y(points_.front().bpm));
        for (std::size_t i = 1; i < points_.size(); ++i) {
            path.lineTo(x(points_[i].seconds), y(points_[i - 1].bpm));
            path.lineTo(x(points_[i].seconds), y(points_[i].bpm));
        }
        path.lineTo(x(seconds), y(points_.back().bpm));
        p.setPen(QPen(palette().color(QPalette::Highlight), 2));
        p.drawPath(path);
        p.setPen(palette().color(QPalette::WindowText));
        p.drawText(QRectF(0, area.top() - metrics.height() / 2.0, left - 4, metrics.height()),
                   Qt::AlignRight | Qt::AlignVCenter, top);
        p.drawText(QRectF(0, area.bottom() - metrics.height() / 2.0, left - 4, metrics.height()),
                   Qt::AlignRight | Qt::AlignVCenter, bottom);
        const QRectF times(area.left(), area.bottom() + 2, area.width(), metrics.height());
        p.drawText(times, Qt::AlignLeft | Qt::AlignTop, QStringLiteral("0:00"));
        p.drawText(times, Qt::AlignHCenter | Qt::AlignTop, QStringLiteral("BPM over time"));
        p.drawText(times, Qt::AlignRight | Qt::AlignTop,
                   QString::fromStdString(OverviewDuration(static_cast<std::uint64_t>(std::llround(seconds)))));
    }

private:
    std::vector<OverviewTempoPoint> points_;
    double low_ = 0;
    double high_ = 0;
    double length_ = 0;
};

namespace {

// The instrument cell of the track list: drawn as a drop-down, edited in one of the 128 programs' names (a
// drum track's in its kits' names).
class InstrumentDelegate : public QStyledItemDelegate {
public:
    InstrumentDelegate(const OverviewNames& names, QObject* parent) : QStyledItemDelegate(parent), names_(names) {}

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem&, const QModelIndex& index) const override {
        auto* list = new QComboBox(parent);
        list->setObjectName(QStringLiteral("InstrumentList"));
        list->setToolTip(QStringLiteral("Choose the track's instrument: its program changes are rewritten (Undo takes "
                                        "it back)"));
        const bool drums = index.data(kDrumsRole).toBool();
        for (int program = 0; program < 128; ++program) {
            const std::string& name = (drums ? names_.kits : names_.programs)[static_cast<std::size_t>(program)];
            list->addItem(QString::number(program + 1) + QLatin1Char(' ') + Latin1(name));
        }
        list->setMaxVisibleItems(20);
        // A choice is made at once; leaving the list without one changes nothing.
        connect(list, &QComboBox::activated, this, [this, list] {
            auto* self = const_cast<InstrumentDelegate*>(this);
            emit self->commitData(list);
            emit self->closeEditor(list);
        });
        QTimer::singleShot(0, list, [list] {
            if (list->isVisible()) list->showPopup();
        });
        return list;
    }
    void setEditorData(QWidget* editor, const QModelIndex& index) const override {
        static_cast<QComboBox*>(editor)->setCurrentIndex(index.data(kProgramRole).toInt());
    }
    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override {
        const int chosen = static_cast<QComboBox*>(editor)->currentIndex();
        if (chosen >= 0 && chosen != index.data(kProgramRole).toInt()) model->setData(index, chosen, kProgramRole);
    }
    void updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option, const QModelIndex&) const override {
        editor->setGeometry(option.rect);
    }
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        // A track without a channel event has nothing to choose: plain text, not a drop-down.
        if (!(index.flags() & Qt::ItemIsEditable)) {
            QStyledItemDelegate::paint(painter, option, index);
            return;
        }
        QStyleOptionComboBox box;
        box.rect = option.rect.adjusted(1, 1, -1, -1);
        box.state = option.state | QStyle::State_Enabled;
        box.palette = option.palette;
        box.currentText = index.data(Qt::DisplayRole).toString();
        box.frame = true;
        QStyle* style = option.widget != nullptr ? option.widget->style() : QApplication::style();
        style->drawComplexControl(QStyle::CC_ComboBox, &box, painter, option.widget);
        style->drawControl(QStyle::CE_ComboBoxLabel, &box, painter, option.widget);
    }

private:
    const OverviewNames& names_;
};

QLabel* SectionTitle(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    QFont font = label->font();
    font.setBold(true);
    label->setFont(font);
    return label;
}

QString ChannelText(const std::vector<int>& channels) {
    QStringList parts;
    for (const int channel : channels) parts << QString::number(channel);
    return parts.isEmpty() ? QStringLiteral("-") : parts.join(QStringLiteral(", "));
}

}  // namespace

OverviewView::OverviewView(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("Overview"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    pages_ = new QStackedWidget(this);
    layout->addWidget(pages_);
    pages_->addWidget(BuildStartPage());
    pages_->addWidget(BuildSongPage());
    pages_->setCurrentIndex(0);
}

QWidget* OverviewView::BuildStartPage() {
    auto* page = new QWidget(this);
    page->setObjectName(QStringLiteral("StartPage"));
    auto* layout = new QVBoxLayout(page);
    layout->setContentsMargins(16, 24, 16, 16);
    auto* hint = new QLabel(QStringLiteral("Open a MIDI file (Ctrl+O), drop one here, or pick a recent song"), page);
    hint->setObjectName(QStringLiteral("StartHint"));
    hint->setWordWrap(true);
    hint->setToolTip(QStringLiteral("File, Open... (Ctrl+O) asks for a song; a .mid file dragged onto the window opens "
                                    "too"));
    QFont big = hint->font();
    big.setPointSizeF(big.pointSizeF() * 1.25);
    hint->setFont(big);
    layout->addWidget(hint);
    layout->addSpacing(12);
    layout->addWidget(SectionTitle(QStringLiteral("Recent songs"), page));
    recentList_ = new QVBoxLayout;
    recentList_->setSpacing(2);
    layout->addLayout(recentList_);
    noRecent_ = new QLabel(QStringLiteral("none yet"), page);
    noRecent_->setEnabled(false);
    layout->addWidget(noRecent_);
    layout->addStretch(1);
    return page;
}

QWidget* OverviewView::BuildSongPage() {
    songScroll_ = new QScrollArea(this);
    songScroll_->setObjectName(QStringLiteral("SongPage"));
    songScroll_->setWidgetResizable(true);
    songScroll_->setFrameShape(QFrame::NoFrame);
    auto* content = new QWidget(songScroll_);
    content->setObjectName(QStringLiteral("SongPageContent"));
    songScroll_->setWidget(content);
    columns_ = new QBoxLayout(QBoxLayout::TopToBottom, content);
    columns_->setContentsMargins(10, 8, 10, 8);
    columns_->setSpacing(12);

    auto* facts = new QWidget(content);
    auto* left = new QVBoxLayout(facts);
    left->setContentsMargins(0, 0, 0, 0);
    title_ = new QLabel(facts);
    title_->setObjectName(QStringLiteral("OverviewTitle"));
    title_->setToolTip(QStringLiteral("The song's file name"));
    title_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    QFont titleFont = title_->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.5);
    titleFont.setBold(true);
    title_->setFont(titleFont);
    left->addWidget(title_);
    songName_ = new QLabel(facts);
    songName_->setObjectName(QStringLiteral("OverviewSongName"));
    songName_->setToolTip(QStringLiteral("The name that the song's first track gives it"));
    left->addWidget(songName_);

    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(3);
    int row = 0;
    for (const Fact& fact : kFacts) {
        auto* caption = new QLabel(QString::fromLatin1(fact.caption) + QLatin1Char(':'), facts);
        caption->setToolTip(QString::fromLatin1(fact.tip));
        auto* value = new QLabel(facts);
        value->setObjectName(QString::fromLatin1(fact.name));
        value->setToolTip(QString::fromLatin1(fact.tip));
        value->setWordWrap(true);
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
        grid->addWidget(caption, row, 0, Qt::AlignTop);
        grid->addWidget(value, row, 1);
        facts_.push_back(value);
        ++row;
    }
    grid->setColumnStretch(1, 1);
    left->addLayout(grid);

    tempoCaption_ = SectionTitle(QStringLiteral("Tempo over time"), facts);
    left->addWidget(tempoCaption_);
    tempoPlot_ = new TempoPlot(facts);
    tempoPlot_->setObjectName(QStringLiteral("TempoPlot"));
    tempoPlot_->setToolTip(QStringLiteral("How the tempo changes from the song's start (left) to its end (right)"));
    left->addWidget(tempoPlot_);

    left->addWidget(SectionTitle(QStringLiteral("Instruments"), facts));
    instruments_ = new BarChart(facts);
    instruments_->setObjectName(QStringLiteral("InstrumentChart"));
    instruments_->setToolTip(QStringLiteral("The instruments ranked by how long they sound; drum sounds in the "
                                            "second colour"));
    left->addWidget(instruments_);
    left->addWidget(SectionTitle(QStringLiteral("Instrument groups"), facts));
    groups_ = new BarChart(facts);
    groups_->setObjectName(QStringLiteral("GroupChart"));
    groups_->setToolTip(QStringLiteral("Each group's share of all the instruments' playing time"));
    left->addWidget(groups_);
    left->addStretch(1);
    columns_->addWidget(facts, 1);

    trackBox_ = new QWidget(content);
    auto* right = new QVBoxLayout(trackBox_);
    right->setContentsMargins(0, 0, 0, 0);
    right->addWidget(SectionTitle(QStringLiteral("Tracks"), trackBox_));
    tracks_ = new QTableWidget(0, kColumns, trackBox_);
    tracks_->setObjectName(QStringLiteral("TrackList"));
    tracks_->setToolTip(QStringLiteral("The song's tracks: click an instrument to choose another; Mute silences a "
                                       "track, Solo plays only the soloed tracks (playback and audio export alike)"));
    tracks_->setHorizontalHeaderLabels({QStringLiteral("#"), QStringLiteral("Name"), QStringLiteral("Ch"),
                                        QStringLiteral("Instrument"), QStringLiteral("Notes"), QStringLiteral("Mute"),
                                        QStringLiteral("Solo")});
    const char* const headerTips[] = {"The track's number, as the Track and Effects lists count it",
                                      "The track's name",
                                      "The MIDI channels the track plays on (10 is the drum channel)",
                                      "The track's instrument (a drum track's kit): click to choose another",
                                      "How many notes the track plays",
                                      "Tick to silence the track while playing and in audio exports",
                                      "Tick to hear only the soloed tracks, while playing and in audio exports"};
    for (int column = 0; column < kColumns; ++column) {
        tracks_->horizontalHeaderItem(column)->setToolTip(QString::fromLatin1(headerTips[column]));
    }
    tracks_->verticalHeader()->hide();
    tracks_->setSelectionMode(QAbstractItemView::NoSelection);
    tracks_->setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
    tracks_->setItemDelegateForColumn(kInstrument, new InstrumentDelegate(names_, tracks_));
    tracks_->setWordWrap(false);
    QHeaderView* header = tracks_->horizontalHeader();
    header->setSectionResizeMode(QHeaderView::ResizeToContents);
    header->setSectionResizeMode(kName, QHeaderView::Stretch);
    header->setSectionResizeMode(kInstrument, QHeaderView::Interactive);
    header->setStretchLastSection(false);
    right->addWidget(tracks_, 1);
    columns_->addWidget(trackBox_, 1);
    columns_->addStretch(0);  // below the track list, when it stands below the charts

    connect(tracks_, &QTableWidget::itemChanged, this, &OverviewView::TrackItemChanged);
    connect(tracks_, &QTableWidget::clicked, this, [this](const QModelIndex& index) {
        if (index.column() == kInstrument) tracks_->edit(index);
    });
    return songScroll_;
}

void OverviewView::ShowStart(const std::vector<std::string>& recentSongs) {
    pages_->setCurrentIndex(0);
    while (QLayoutItem* item = recentList_->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    int number = 0;
    for (const std::string& path : recentSongs) {
        const QString shown = QString::fromStdString(path);
        auto* button = new QPushButton(QFileInfo(shown).fileName() + QStringLiteral("  -  ") + QFileInfo(shown).path(),
                                       pages_->widget(0));
        button->setObjectName(QStringLiteral("RecentSong%1").arg(++number));
        button->setFlat(true);
        button->setCursor(Qt::PointingHandCursor);
        button->setStyleSheet(QStringLiteral("text-align: left; padding: 3px 6px;"));
        button->setToolTip(QStringLiteral("Open ") + shown);
        connect(button, &QPushButton::clicked, this, [this, path] { emit RecentSongChosen(path); });
        recentList_->addWidget(button);
    }
    noRecent_->setVisible(recentSongs.empty());
}

void OverviewView::ShowSong(const OverviewModel& model, const OverviewNames& names, const TrackMix& mix) {
    model_ = model;
    names_ = names;
    if (!model_.hasSong) return;
    pages_->setCurrentIndex(1);
    FillFacts();
    FillTracks(mix);
    Reflow();
}

void OverviewView::FillFacts() {
    const OverviewModel& m = model_;
    title_->setText(Latin1(m.title));
    songName_->setText(Latin1(m.songName));
    songName_->setVisible(!m.songName.empty());
    const QString values[] = {
        QString::fromStdString(m.duration),
        QString::fromStdString(m.tempo),
        QString::fromStdString(m.timeSignatures),
        m.estimatedKey.empty() ? QString::fromStdString(m.keySignatures)
                               : QStringLiteral("%1; from the notes: %2")
                                     .arg(QString::fromStdString(m.keySignatures), QString::fromStdString(m.estimatedKey)),
        Latin1(m.style),
        QString::number(m.complexity),
        QString::number(m.averageVolume),
        QStringLiteral("%1, %2 notes, %3").arg(m.trackCount).arg(m.noteCount).arg(Latin1(m.format)),
    };
    for (std::size_t i = 0; i < facts_.size(); ++i) facts_[i]->setText(values[i]);
    const bool changes = !m.tempoPlot.empty();
    tempoCaption_->setVisible(changes);
    tempoPlot_->setVisible(changes);
    tempoPlot_->SetTempo(m);
    instruments_->SetBars(m.instruments);
    groups_->SetBars(m.groups);
}

void OverviewView::FillTracks(const TrackMix& mix) {
    filling_ = true;
    const QSignalBlocker block(tracks_);
    tracks_->setRowCount(static_cast<int>(model_.tracks.size()));
    const auto fixed = [](const QString& text) {
        auto* item = new QTableWidgetItem(text);
        item->setFlags(Qt::ItemIsEnabled);
        return item;
    };
    for (int row = 0; row < tracks_->rowCount(); ++row) {
        const OverviewTrack& t = model_.tracks[static_cast<std::size_t>(row)];
        QTableWidgetItem* number = fixed(QString::number(t.number));
        number->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        tracks_->setItem(row, kNumber, number);
        QTableWidgetItem* name = fixed(Latin1(t.name));
        name->setToolTip(Latin1(t.name));
        tracks_->setItem(row, kName, name);
        tracks_->setItem(row, kChannels, fixed(ChannelText(t.channels)));
        auto* instrument = new QTableWidgetItem(
            t.program ? QString::number(*t.program + 1) + QLatin1Char(' ') + Latin1(t.instrument)
                      : QStringLiteral("(none)"));
        instrument->setFlags(Qt::ItemIsEnabled | Qt::ItemIsEditable | Qt::ItemIsSelectable);
        instrument->setData(kProgramRole, t.program.value_or(-1));
        instrument->setData(kDrumsRole, t.drums);
        instrument->setToolTip(t.channels.empty()
                                   ? QStringLiteral("A track without notes or programs has no instrument to choose")
                                   : QStringLiteral("Click to choose the track's %1").arg(t.drums ? "drum kit" : "instrument"));
        if (t.channels.empty()) instrument->setFlags(Qt::ItemIsEnabled);
        tracks_->setItem(row, kInstrument, instrument);
        QTableWidgetItem* notes = fixed(QString::number(t.notes));
        notes->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        tracks_->setItem(row, kNotes, notes);
        for (const auto& [column, on, tip] :
             {std::tuple{kMute, mix.Muted(row), "Silence this track while playing and in audio exports"},
              std::tuple{kSolo, mix.Soloed(row), "Hear only the soloed tracks while playing and in audio exports"}}) {
            auto* tick = new QTableWidgetItem;
            tick->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
            tick->setCheckState(on ? Qt::Checked : Qt::Unchecked);
            tick->setToolTip(QString::fromLatin1(tip));
            tracks_->setItem(row, column, tick);
        }
    }
    tracks_->resizeColumnToContents(kInstrument);
    tracks_->setColumnWidth(kInstrument, std::clamp(tracks_->columnWidth(kInstrument) + 24, 140, 230));
    filling_ = false;
}

void OverviewView::TrackItemChanged(QTableWidgetItem* item) {
    if (filling_) return;
    const int row = item->row();
    if (row < 0 || static_cast<std::size_t>(row) >= model_.tracks.size()) return;
    switch (item->column()) {
    case kInstrument: {
        const int program = item->data(kProgramRole).toInt();
        if (program >= 0) emit InstrumentChosen(model_.tracks[static_cast<std::size_t>(row)].number, program);
        break;
    }
    case kMute: emit MuteChosen(row, item->checkState() == Qt::Checked); break;
    case kSolo: emit SoloChosen(row, item->checkState() == Qt::Checked); break;
    default: break;
    }
}

void OverviewView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    Reflow();
}

void OverviewView::Reflow() {
    const bool wide = width() >= kTwoColumnWidth;
    columns_->setDirection(wide ? QBoxLayout::LeftToRight : QBoxLayout::TopToBottom);
    // Side by side both columns share the room; one below the other each takes its own height.
    columns_->setStretch(0, wide ? 1 : 0);
    columns_->setStretch(1, wide ? 1 : 0);
    columns_->setStretch(2, wide ? 0 : 1);
    if (wide) {
        tracks_->setMinimumHeight(0);
        tracks_->setMaximumHeight(QWIDGETSIZE_MAX);
        return;
    }
    // Below the charts the list shows its rows whole, up to a limit, so the page scrolls instead of the list.
    const int rows = std::min(kMostRowsInline, std::max(1, tracks_->rowCount()));
    const int height = tracks_->horizontalHeader()->sizeHint().height() + rows * tracks_->verticalHeader()->defaultSectionSize() +
                       2 * tracks_->frameWidth() + 2;
    tracks_->setMinimumHeight(height);
    tracks_->setMaximumHeight(height);
}

}  // namespace sonivex
