#include "race/TimingList.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QStyle>
#include <algorithm>
#include <cmath>

#include "app/Competition.h"
#include "app/Numbers.h"
#include "race/Formatting.h"
#include "race/JudgeBoard.h"
#include "timing/TimingBoard.h"
#include "ui/Twips.h"

namespace zalvik {

namespace {

using Column = TimingListModel::Column;
const char* const kHeaders[] = {"時刻", "ZNo", "氏　　名", "タイム", "状　態", "送信元"};
// The widest text each column must show whole; the name takes what the others leave. A judge's
// longer name is cut, and read whole from its tip.
const char* const kWidest[] = {"00:00:00",           "999",        "", "999.99",
                               "登録と違う: 999.99", "審判 長谷川"};
const char* const kFiveCharacterName = "長谷川真理";

// A time of day in 1/10,000 s as "10:03:00", or with `hundredths` "10:03:00.12" (cut, as run
// times are).
QString TimeOfDayText(long long ticks, bool hundredths) {
    const long long h = ticks / 100;
    const QString text = QStringLiteral("%1:%2:%3")
                             .arg(h / 360000, 2, 10, QLatin1Char('0'))
                             .arg(h / 6000 % 60, 2, 10, QLatin1Char('0'))
                             .arg(h / 100 % 60, 2, 10, QLatin1Char('0'));
    return hundredths ? text + QStringLiteral(".%1").arg(h % 100, 2, 10, QLatin1Char('0')) : text;
}

// The timing device's runs, as the board holds them.
class DeviceRuns : public TimingListSource {
  public:
    explicit DeviceRuns(const timing::TimingBoard& board) : board_(board) {}
    int lineCount() const override { return static_cast<int>(board_.runs().size()); }
    // A run of another workbook's list at the same place arrived at another moment.
    qint64 lineKey(int line) const override { return run(line).received.toMSecsSinceEpoch(); }
    QDateTime received(int line) const override { return run(line).received; }
    // A finish shows its own time of day, so that the official can tell which finish a line
    // without a bib is (a memory resend brings many in the same second); a run time the device
    // sent, when it arrived.
    QString clockText(int line, bool whole) const override {
        const timing::ReceivedRun& r = run(line);
        const QString received = r.received.toString(QStringLiteral("HH:mm:ss"));
        if (r.finishTimeOfDay < 0) return whole ? QStringLiteral("受信 ") + received : received;
        return whole ? QStringLiteral("ゴール %1（受信 %2）")
                           .arg(TimeOfDayText(r.finishTimeOfDay, true), received)
                     : TimeOfDayText(r.finishTimeOfDay, false);
    }
    int bib(int line) const override { return run(line).bib; }
    QString timeText(int line) const override {
        const timing::ReceivedRun& r = run(line);
        return r.hundredths >= 0 ? DeviceTimeText(r.hundredths) : QString();
    }
    QString stateText(int line, const Competition& d, int slot) const override {
        const timing::ReceivedRun& r = run(line);
        return RunStateText(r, d, slot, r.hundredths >= 0 && board_.needsCheck(r));
    }
    QString sourceText(int) const override { return QStringLiteral("計時"); }

  private:
    const timing::ReceivedRun& run(int line) const {
        return board_.runs()[static_cast<size_t>(line)];
    }
    const timing::TimingBoard& board_;
};

// What the registered result holds at a gate, as the judges' lines compare with it: the buoy
// whose score the gate's points are (as the panel recovers it), or the points themselves.
QString RegisteredAtGate(const Competition& d, const Competitor& who, int gate) {
    const QString points = gate >= 1 && gate <= kMaxGates ? who.gatePoints[gate - 1] : QString();
    for (int k = 1; k <= kBuoyKinds; ++k)
        if (!points.isEmpty() && d.buoyScore[k] == LeadingValue(points)) return d.buoyName[k];
    return points;
}

// The gate judges' entries. The copy grows with the board's log; when the board turned to
// another workbook (the entry it ended on is no longer where it was) it is read anew.
class JudgeLines : public TimingListSource {
  public:
    JudgeLines(const judges::JudgeBoard& board, const Competition& d) : board_(board), d_(d) {}
    void sync() override {
        if (!lines_.empty()) {
            std::vector<judges::JudgeEntry> since = board_.entries(lines_.size() - 1);
            if (!since.empty() && since.front().id == lines_.back().id &&
                since.front().seq == lines_.back().seq) {
                lines_.insert(lines_.end(), std::make_move_iterator(since.begin() + 1),
                              std::make_move_iterator(since.end()));
                return;
            }
        }
        lines_ = board_.entries();
    }
    int lineCount() const override { return static_cast<int>(lines_.size()); }
    qint64 lineKey(int line) const override {
        return static_cast<qint64>(qHash(entry(line).id)) ^ entry(line).seq;
    }
    QDateTime received(int line) const override { return entry(line).received; }
    // The tip says who sent it and when, as the panel's tips do.
    QString clockText(int line, bool whole) const override {
        const judges::JudgeEntry& e = entry(line);
        return whole ? JudgeSentText(e) : e.received.toString(QStringLiteral("HH:mm:ss"));
    }
    int bib(int line) const override { return entry(line).bib; }
    // The gate and what the judge saw there: "G5 あ", "G5 DQ".
    QString timeText(int line) const override {
        const judges::JudgeEntry& e = entry(line);
        const QString what = e.dq                                  ? QStringLiteral("DQ")
                             : e.buoy >= 1 && e.buoy <= kBuoyKinds ? d_.buoyName[e.buoy]
                                                                   : QString::number(e.buoy);
        return QStringLiteral("G%1 %2").arg(e.gate).arg(what);
    }
    // Against the registered result at the entry's gate: the same buoy (or a DQ against a DQ)
    // is registered; anything else differs, and says what is registered.
    QString stateText(int line, const Competition& d, int slot) const override {
        const judges::JudgeEntry& e = entry(line);
        if (!e.refused.isEmpty()) return QStringLiteral("拒否: ") + e.refused;
        if (slot == 0 || !HasRegisteredResult(d.competitors[slot])) return QStringLiteral("未登録");
        const Competitor& who = d.competitors[slot];
        QString registered;
        if (who.status != 0) {
            if (e.dq && who.status == 3) return QStringLiteral("登録済");
            registered = who.status > 0 && who.status < static_cast<int>(d.statusWord.size())
                             ? d.statusWord[who.status]
                             : QString::number(who.status);
        } else {
            const QString points =
                e.gate >= 1 && e.gate <= kMaxGates ? who.gatePoints[e.gate - 1] : QString();
            if (!e.dq && e.buoy >= 1 && e.buoy <= kBuoyKinds && !points.isEmpty() &&
                LeadingValue(points) == d.buoyScore[e.buoy])
                return QStringLiteral("登録済");
            registered = RegisteredAtGate(d, who, e.gate);
        }
        return QStringLiteral("登録と違う: ") + registered;
    }
    QString sourceText(int line) const override { return JudgeSourceText(entry(line)); }
    QColor tint() const override { return kJudgeTint; }

  private:
    const judges::JudgeEntry& entry(int line) const { return lines_[static_cast<size_t>(line)]; }
    const judges::JudgeBoard& board_;
    const Competition& d_;
    std::vector<judges::JudgeEntry> lines_;
};

}  // namespace

QString JudgeSourceText(const judges::JudgeEntry& e) {
    return e.judgeName.isEmpty() ? QStringLiteral("審判 %1番").arg(e.judgeId)
                                 : QStringLiteral("審判 ") + e.judgeName;
}

QString JudgeSentText(const judges::JudgeEntry& e) {
    return JudgeSourceText(e) + u' ' + e.received.toString(QStringLiteral("HH:mm:ss"));
}

std::unique_ptr<TimingListSource> JudgeEntryLines(const judges::JudgeBoard& board,
                                                  const Competition& d) {
    return std::make_unique<JudgeLines>(board, d);
}

QString DeviceTimeText(int hundredths) { return FormatHundredths(hundredths / 100.0); }

QString RunStateText(const timing::ReceivedRun& run, const Competition& d, int slot,
                     bool doubtful) {
    if (run.cleared) return QStringLiteral("取消");
    if (run.bib == 0) return QStringLiteral("ゼッケンなし");
    if (run.hundredths < 0) return QStringLiteral("スタートなし");
    if (doubtful) return QStringLiteral("要確認");
    if (slot == 0) return QStringLiteral("未登録");
    const Competitor& who = d.competitors[slot];
    if (!HasRegisteredResult(who)) return QStringLiteral("未登録");
    if (who.status != 0) {
        const QString word = who.status > 0 && who.status < static_cast<int>(d.statusWord.size())
                                 ? d.statusWord[who.status]
                                 : QString::number(who.status);
        return QStringLiteral("登録と違う: ") + word;
    }
    // The registered time is compared in hundredths, as both are shown.
    if (std::lround(double(who.runTime) * 100) == run.hundredths) return QStringLiteral("登録済");
    return QStringLiteral("登録と違う: ") + FormatHundredths(who.runTime);
}

TimingListModel::TimingListModel(const timing::TimingBoard& board, const Competition& data,
                                 QObject* parent)
    : QAbstractTableModel(parent), board_(board), data_(data) {
    addSource(std::make_unique<DeviceRuns>(board));
}

TimingListModel::~TimingListModel() = default;

void TimingListModel::addSource(std::unique_ptr<TimingListSource> source) {
    sources_.push_back(std::move(source));
    shown_.emplace_back();
}

bool TimingListModel::showsOtherSources() const {
    return std::any_of(shown_.begin() + 1, shown_.end(),
                       [](const Shown& s) { return s.count > 0; });
}

int TimingListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int TimingListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumns;
}

const TimingListModel::Row* TimingListModel::rowAt(int row) const {
    if (row < 0 || row >= static_cast<int>(rows_.size())) return nullptr;
    const Row& r = rows_[rows_.size() - 1 - static_cast<size_t>(row)];
    return r.line < sources_[static_cast<size_t>(r.source)]->lineCount() ? &r : nullptr;
}

const timing::ReceivedRun* TimingListModel::runAt(int row) const {
    const Row* r = rowAt(row);
    return r && r->source == 0 ? &board_.runs()[static_cast<size_t>(r->line)] : nullptr;
}

int TimingListModel::slotOf(int bib) const { return slotOfBib_.value(bib, 0); }

QVariant TimingListModel::data(const QModelIndex& index, int role) const {
    const Row* row = rowAt(index.row());
    if (!row) return {};
    if (role == Qt::TextAlignmentRole)
        return index.column() == kName || index.column() >= kState
                   ? QVariant(Qt::AlignLeft | Qt::AlignVCenter)
                   : QVariant(Qt::AlignRight | Qt::AlignVCenter);
    const TimingListSource& source = *sources_[static_cast<size_t>(row->source)];
    if (role == Qt::BackgroundRole) {
        const QColor tint = source.tint();
        return tint.isValid() ? QVariant(tint) : QVariant();
    }
    // A text cut at its column's edge is read whole from its tip; the time of day to the
    // hundredth and the moment received (or who sent it).
    if (role == Qt::ToolTipRole && index.column() == kReceived)
        return source.clockText(row->line, true);
    if (role == Qt::ToolTipRole &&
        (index.column() == kName || index.column() == kState || index.column() == kSource))
        return data(index, Qt::DisplayRole);
    if (role != Qt::DisplayRole) return {};
    const int bib = source.bib(row->line);
    const int slot = bib > 0 ? slotOf(bib) : 0;
    switch (index.column()) {
        case kReceived:
            return source.clockText(row->line, false);
        case kBib:
            return bib > 0 ? QString::number(bib) : QString();
        case kName:
            return slot ? data_.competitors[slot].name : QString();
        case kTime:
            return source.timeText(row->line);
        case kState:
            return source.stateText(row->line, data_, slot);
        case kSource:
            return source.sourceText(row->line);
        default:
            return {};
    }
}

QVariant TimingListModel::headerData(int section, Qt::Orientation o, int role) const {
    if (o == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < kColumns)
        return QString::fromUtf8(kHeaders[section]);
    return QAbstractTableModel::headerData(section, o, role);
}

void TimingListModel::refresh(bool competitorsChanged) {
    if (competitorsChanged) {
        // The first competitor of a bib, as every lookup by bib takes it.
        slotOfBib_.clear();
        const int count = std::clamp<int>(data_.competitorCount, 0, kMaxSlots);
        for (int i = count; i >= 1; --i) slotOfBib_.insert(data_.competitors[i].bib, i);
    }
    // Sources only ever add lines at their end; anything else (another workbook's runs) is
    // shown anew.
    bool renewed = false;
    for (size_t s = 0; s < sources_.size(); ++s) {
        sources_[s]->sync();
        const int count = sources_[s]->lineCount();
        const Shown& shown = shown_[s];
        if (count < shown.count ||
            (shown.count > 0 && sources_[s]->lineKey(shown.count - 1) != shown.lastKey))
            renewed = true;
    }
    std::vector<Row> added;
    for (size_t s = 0; s < sources_.size(); ++s) {
        const int from = renewed ? 0 : shown_[s].count;
        const int count = sources_[s]->lineCount();
        for (int line = from; line < count; ++line) added.push_back({static_cast<int>(s), line});
        shown_[s] = {count, count > 0 ? sources_[s]->lineKey(count - 1) : 0};
    }
    if (renewed) {
        // Every source's lines in the order they arrived.
        std::stable_sort(added.begin(), added.end(), [this](const Row& a, const Row& b) {
            return sources_[static_cast<size_t>(a.source)]->received(a.line) <
                   sources_[static_cast<size_t>(b.source)]->received(b.line);
        });
        beginResetModel();
        rows_ = std::move(added);
        endResetModel();
        return;
    }
    if (!added.empty()) {
        beginInsertRows({}, 0, static_cast<int>(added.size()) - 1);
        rows_.insert(rows_.end(), added.begin(), added.end());
        endInsertRows();
    }
    // Bibs given, runs cleared and results registered change the older lines' texts.
    if (!rows_.empty())
        emit dataChanged(index(0, 0), index(static_cast<int>(rows_.size()) - 1, kColumns - 1));
}

TimingListView::TimingListView(QWidget* parent) : QTableView(parent) {
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setWordWrap(false);
    // A name too long for its column shows as many characters as fit, not two and a mark.
    setTextElideMode(Qt::ElideNone);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    // Lines as tall as the text and no taller, so that many fit in the corner of the screen.
    verticalHeader()->setMinimumSectionSize(1);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 2);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setStretchLastSection(true);
    connect(this, &QAbstractItemView::doubleClicked, this,
            [this](const QModelIndex& index) { emit lineChosen(index.row()); });
}

void TimingListView::keyPressEvent(QKeyEvent* e) {
    const QModelIndex at = currentIndex();
    if ((e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) && at.isValid()) {
        emit lineChosen(at.row());
        return;
    }
    if ((e->key() == Qt::Key_Delete || e->key() == Qt::Key_Backspace) && at.isValid()) {
        emit bibTakenBack(at.row());
        return;
    }
    // Shift+F10 asks for the menu where the keyboard has no menu key.
    if (e->key() == Qt::Key_F10 && (e->modifiers() & Qt::ShiftModifier) && at.isValid()) {
        emit menuAsked(at.row(), viewport()->mapToGlobal(visualRect(at).center()));
        return;
    }
    QTableView::keyPressEvent(e);
}

void TimingListView::contextMenuEvent(QContextMenuEvent* e) {
    // From the mouse, the line under it; from the menu key, the current line.
    const bool mouse = e->reason() == QContextMenuEvent::Mouse;
    const QModelIndex at =
        mouse ? indexAt(viewport()->mapFromGlobal(e->globalPos())) : currentIndex();
    if (!at.isValid()) return;
    if (mouse) setCurrentIndex(at);
    emit menuAsked(at.row(),
                   mouse ? e->globalPos() : viewport()->mapToGlobal(visualRect(at).center()));
}

int TimingListView::heightForRows(int rows) const {
    return horizontalHeader()->sizeHint().height() + rows * verticalHeader()->defaultSectionSize() +
           2 * frameWidth();
}

void TimingListView::setUpColumns() {
    // Each column as wide as its widest text, with the margins a cell leaves on either side;
    // the state holds the registered time a device time differs from, the figure the official
    // must see. The name gives way, cut rather than elided.
    const int margins = 2 * (style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 1);
    const int headingMargins = 2 * style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, this);
    horizontalHeader()->setMinimumSectionSize(1);
    for (int c = 0; c < TimingListModel::kColumns; ++c) {
        const QString widest = QString::fromUtf8(kWidest[c]);
        const QString heading = QString::fromUtf8(kHeaders[c]);
        setColumnWidth(c, std::max(fontMetrics().horizontalAdvance(widest) + margins,
                                   horizontalHeader()->fontMetrics().horizontalAdvance(heading) +
                                       headingMargins));
    }
    sourceWidth_ = columnWidth(TimingListModel::kSource);
    nameWidth_ = fontMetrics().horizontalAdvance(QString::fromUtf8(kFiveCharacterName)) + margins;
    horizontalHeader()->setStretchLastSection(false);
    horizontalHeader()->setSectionResizeMode(TimingListModel::kName, QHeaderView::Fixed);
    connect(model(), &QAbstractItemModel::rowsInserted, this, [this] { fitColumns(); });
    connect(model(), &QAbstractItemModel::modelReset, this, [this] { fitColumns(); });
    connect(horizontalHeader(), &QHeaderView::sectionResized, this, [this](int section) {
        if (section != TimingListModel::kName) fitColumns();
    });
    fitColumns();
}

void TimingListView::fitColumns() {
    const auto* lines = dynamic_cast<const TimingListModel*>(model());
    if (!lines || nameWidth_ == 0) return;
    const bool source = lines->showsOtherSources();
    if (source == isColumnHidden(TimingListModel::kSource))
        setColumnHidden(TimingListModel::kSource, !source);
    int others = 0;
    for (int c = 0; c < TimingListModel::kColumns; ++c)
        if (c != TimingListModel::kName && c != TimingListModel::kSource) others += columnWidth(c);
    const int room = viewport()->width() - others;
    const int beside = room - (source ? sourceWidth_ : 0);
    const int width = std::max(1, beside >= nameWidth_ ? beside : room);
    if (columnWidth(TimingListModel::kName) != width) setColumnWidth(TimingListModel::kName, width);
}

bool TimingListView::viewportEvent(QEvent* e) {
    // The viewport narrows when the scroll bar comes; the name gives it the room.
    if (e->type() == QEvent::Resize) fitColumns();
    return QTableView::viewportEvent(e);
}

}  // namespace zalvik
