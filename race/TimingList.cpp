#include "race/TimingList.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QStyle>
#include <algorithm>
#include <cmath>

#include "app/Competition.h"
#include "race/Formatting.h"
#include "timing/TimingBoard.h"
#include "ui/Twips.h"

namespace zalvik {

namespace {

enum Column { kReceived, kBib, kName, kTime, kState, kColumns };
const char* const kHeaders[] = {"受信", "ZNo", "氏　　名", "タイム", "状　態"};
constexpr int kWidths[] = {720, 420, 1200, 600, 1100};  // twips

}  // namespace

QString DeviceTimeText(int hundredths) { return FormatHundredths(hundredths / 100.0); }

QString RunStateText(const timing::ReceivedRun& run, const Competition& d, int slot) {
    if (run.cleared) return QStringLiteral("取消");
    if (run.bib == 0) return QStringLiteral("ゼッケンなし");
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
    : QAbstractTableModel(parent), board_(board), data_(data) {}

int TimingListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : shownCount_;
}

int TimingListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumns;
}

const timing::ReceivedRun* TimingListModel::runAt(int row) const {
    const auto& runs = board_.runs();
    if (row < 0 || row >= shownCount_ || shownCount_ > static_cast<int>(runs.size()))
        return nullptr;
    return &runs[static_cast<size_t>(shownCount_ - 1 - row)];
}

int TimingListModel::slotOf(int bib) const { return slotOfBib_.value(bib, 0); }

QVariant TimingListModel::data(const QModelIndex& index, int role) const {
    const timing::ReceivedRun* run = runAt(index.row());
    if (!run) return {};
    if (role == Qt::TextAlignmentRole)
        return index.column() == kName || index.column() == kState
                   ? QVariant(Qt::AlignLeft | Qt::AlignVCenter)
                   : QVariant(Qt::AlignRight | Qt::AlignVCenter);
    // A name or a state cut at its column's edge is read whole from its tip.
    if (role == Qt::ToolTipRole && (index.column() == kName || index.column() == kState))
        return data(index, Qt::DisplayRole);
    if (role != Qt::DisplayRole) return {};
    const int slot = run->bib > 0 ? slotOf(run->bib) : 0;
    switch (index.column()) {
        case kReceived:
            return run->received.toString(QStringLiteral("HH:mm:ss"));
        case kBib:
            return run->bib > 0 ? QString::number(run->bib) : QString();
        case kName:
            return slot ? data_.competitors[slot].name : QString();
        case kTime:
            return run->hundredths >= 0 ? DeviceTimeText(run->hundredths) : QString();
        case kState:
            return RunStateText(*run, data_, slot);
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
    const auto& runs = board_.runs();
    const int count = static_cast<int>(runs.size());
    // Runs only ever come in at the end of the board's list; anything else (another
    // workbook's runs) is shown anew.
    const bool grown =
        count >= shownCount_ &&
        (shownCount_ == 0 || runs[static_cast<size_t>(shownCount_ - 1)].id == shownLastId_);
    if (!grown) {
        beginResetModel();
        shownCount_ = count;
        shownLastId_ = count ? runs.back().id : 0;
        endResetModel();
        return;
    }
    if (count > shownCount_) {
        beginInsertRows({}, 0, count - shownCount_ - 1);
        shownCount_ = count;
        shownLastId_ = runs.back().id;
        endInsertRows();
    }
    // Bibs given, runs cleared and results registered change the older lines' texts.
    if (shownCount_ > 0) emit dataChanged(index(0, 0), index(shownCount_ - 1, kColumns - 1));
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
    verticalHeader()->setDefaultSectionSize(ui::TwipsToPixels(240));
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setStretchLastSection(true);
    connect(this, &QAbstractItemView::doubleClicked, this,
            [this](const QModelIndex& index) { emit lineChosen(index.row()); });
}

void TimingListView::keyPressEvent(QKeyEvent* e) {
    if ((e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) && currentIndex().isValid()) {
        emit lineChosen(currentIndex().row());
        return;
    }
    QTableView::keyPressEvent(e);
}

void TimingListView::setUpColumns() {
    for (int c = 0; c < kColumns; ++c) setColumnWidth(c, ui::TwipsToPixels(kWidths[c]));
    // The state holds the registered time a device time differs from, the figure the official
    // must see; it keeps the width of the longest such state, and the name gives way.
    const int stateWidth = fontMetrics().horizontalAdvance(QStringLiteral("登録と違う: 999.99")) +
                           2 * style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) +
                           ui::TwipsToPixels(60);
    horizontalHeader()->setStretchLastSection(false);
    horizontalHeader()->setSectionResizeMode(kName, QHeaderView::Stretch);
    setColumnWidth(kState, std::max(columnWidth(kState), stateWidth));
}

}  // namespace zalvik
