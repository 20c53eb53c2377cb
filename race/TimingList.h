#pragma once
// The list of what was received from outside (計時一覧), newest on top: the time of day (of the
// finish, or when it arrived), the bib, the competitor's name, the time (or the gate judge's
// buoy), how it stands against the result registered for that competitor, and where it came
// from. Its lines come from sources: the timing device's runs and the gate judges' entries.

#include <QAbstractTableModel>
#include <QColor>
#include <QDateTime>
#include <QHash>
#include <QTableView>
#include <memory>
#include <vector>

namespace zalvik {

struct Competition;

namespace timing {
class TimingBoard;
struct ReceivedRun;
}  // namespace timing

namespace judges {
class JudgeBoard;
struct JudgeEntry;
}  // namespace judges

// The tint of what the gate judges propose, on the entry panel and on their lines of the list,
// and the mark of a gate where they disagree.
inline const QColor kJudgeTint{214, 240, 206};
inline const QColor kDisagreementTint{255, 214, 170};

// Who sent a judge's entry, as the panel and the list name them: "審判 山田", or by the judge's
// number when the judge has no name ("審判 2番").
QString JudgeSourceText(const judges::JudgeEntry& e);
// Who sent it and when it arrived, as the panel's and the list's tips say it:
// "審判 山田 10:03:05".
QString JudgeSentText(const judges::JudgeEntry& e);

// The device's run time as the results grid shows times: "61.52".
QString DeviceTimeText(int hundredths);

// What the list says of a received run: "未登録", "登録済", "ゼッケンなし" (a finish without a
// bib), "スタートなし" (a finish whose start never arrived), "要確認" (`doubtful`: a run of 0 or
// longer than the bound), "登録と違う: 61.50" (the registered time, or the status word for a
// competitor registered as DS, DF or DQ), "取消". A bib that names nobody is shown as not
// registered, with no name.
QString RunStateText(const timing::ReceivedRun& run, const Competition& d, int slot, bool doubtful);

// One source of the list's lines. It lists its lines oldest first and only adds lines at the
// end; a list that changes otherwise (another workbook's) has a different key at a line shown.
class TimingListSource {
  public:
    virtual ~TimingListSource() = default;
    // Takes in what arrived since; every refresh of the list starts with it.
    virtual void sync() {}
    virtual int lineCount() const = 0;
    virtual qint64 lineKey(int line) const = 0;
    virtual QDateTime received(int line) const = 0;
    // The clock column's text (時刻), and (`whole`) its tip.
    virtual QString clockText(int line, bool whole) const = 0;
    virtual int bib(int line) const = 0;  // 0: none
    // The texts of the time column and of the state column (for the competitor in `slot` of
    // `d`, 0 for none).
    virtual QString timeText(int line) const = 0;
    virtual QString stateText(int line, const Competition& d, int slot) const = 0;
    // Where the line came from (送信元): "計時", "審判 山田".
    virtual QString sourceText(int line) const = 0;
    // The line's background; none (invalid) for the list's own.
    virtual QColor tint() const { return {}; }
};

// The gate judges' entries on `board` as lines of the list, for the buoys of `d`.
std::unique_ptr<TimingListSource> JudgeEntryLines(const judges::JudgeBoard& board,
                                                  const Competition& d);

class TimingListModel : public QAbstractTableModel {
  public:
    enum Column { kReceived, kBib, kName, kTime, kState, kSource, kColumns };

    // The list of the device's runs on `board`, for the competitors of `data`.
    TimingListModel(const timing::TimingBoard& board, const Competition& data, QObject* parent);
    ~TimingListModel() override;
    // Another source's lines, listed beside the device's from the next refresh on.
    void addSource(std::unique_ptr<TimingListSource> source);
    // Whether any line shown comes from another source than the device.
    bool showsOtherSources() const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation o, int role) const override;

    // The board's run shown on `row` (row 0 is the newest); nullptr beyond the list and for a
    // line of another source.
    const timing::ReceivedRun* runAt(int row) const;
    // Follows the sources: lines that arrived since the last call come in on top (the rows
    // shown stay selected), everything else is redrawn. `competitorsChanged`: bibs or names may
    // have changed too (a load, the set action).
    void refresh(bool competitorsChanged);

  private:
    struct Row {
        int source;
        int line;
    };
    struct Shown {
        int count = 0;
        qint64 lastKey = 0;
    };
    const Row* rowAt(int row) const;
    int slotOf(int bib) const;

    const timing::TimingBoard& board_;
    const Competition& data_;
    std::vector<std::unique_ptr<TimingListSource>> sources_;  // the device's first
    std::vector<Shown> shown_;
    std::vector<Row> rows_;  // oldest first
    QHash<int, int> slotOfBib_;
};

// The table itself: whole lines selected one at a time; a double click or Enter on a line asks
// for its time (lineChosen), Delete asks to take its bib back, and the context menu (also from
// the menu key or Shift+F10) offers both.
//
// The name takes the room the other columns leave. The source column is there once a line of
// another source is, and shows where that leaves a name of five characters beside it (in a
// window of its own); in the corner of the screen, where it does not, it lies past the right
// edge and the judges' lines are known by their tint.
class TimingListView : public QTableView {
    Q_OBJECT
  public:
    explicit TimingListView(QWidget* parent);
    // The column widths, once a TimingListModel is in place.
    void setUpColumns();
    // The height of `rows` whole lines under the heading.
    int heightForRows(int rows) const;
  signals:
    void lineChosen(int row);
    void bibTakenBack(int row);
    void menuAsked(int row, QPoint globalPos);

  protected:
    void keyPressEvent(QKeyEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;
    bool viewportEvent(QEvent* e) override;

  private:
    void fitColumns();
    int nameWidth_ = 0;    // five full-width characters
    int sourceWidth_ = 0;  // the source column's, while hidden too
};

}  // namespace zalvik
