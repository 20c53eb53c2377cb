#pragma once
// The list of times received from outside (計時一覧), newest on top: the time of day (of the
// finish, or when it arrived), the bib, the competitor's name, the time and how it stands
// against the result registered for that competitor. Its lines come from sources: the timing
// device's runs now; another source (the gate judges' entries) adds its own lines beside them
// without changing the list.

#include <QAbstractTableModel>
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
};

class TimingListModel : public QAbstractTableModel {
  public:
    enum Column { kReceived, kBib, kName, kTime, kState, kColumns };

    // The list of the device's runs on `board`, for the competitors of `data`.
    TimingListModel(const timing::TimingBoard& board, const Competition& data, QObject* parent);
    ~TimingListModel() override;
    // Another source's lines, listed beside the device's from the next refresh on.
    void addSource(std::unique_ptr<TimingListSource> source);

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
class TimingListView : public QTableView {
    Q_OBJECT
  public:
    explicit TimingListView(QWidget* parent);
    // The column widths, once the model is in place.
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
};

}  // namespace zalvik
