#pragma once
// The list of run times received from the timing device (計時一覧), newest on top: when each
// arrived, the bib, the competitor's name, the run time and how it stands against the result
// registered for that competitor.

#include <QAbstractTableModel>
#include <QHash>
#include <QTableView>

namespace zalvik {

struct Competition;

namespace timing {
class TimingBoard;
struct ReceivedRun;
}  // namespace timing

// The device's run time as the results grid shows times: "61.52".
QString DeviceTimeText(int hundredths);

// What the list says of a received run: "未登録", "登録済", "ゼッケンなし", "登録と違う: 61.50"
// (the registered time, or the status word for a competitor registered as DS, DF or DQ),
// "取消". A bib that names nobody is shown as not registered, with no name.
QString RunStateText(const timing::ReceivedRun& run, const Competition& d, int slot);

// The competitor slot of a run's bib (0 for none), by an index made once per refresh of the list.
class TimingListModel : public QAbstractTableModel {
  public:
    TimingListModel(const timing::TimingBoard& board, const Competition& data, QObject* parent);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation o, int role) const override;

    // The board's run shown on `row` (row 0 is the newest); nullptr beyond the list.
    const timing::ReceivedRun* runAt(int row) const;
    // Follows the board: runs that arrived since the last call come in on top (the rows shown
    // stay selected), everything else is redrawn. `competitorsChanged`: bibs or names may have
    // changed too (a load, the set action).
    void refresh(bool competitorsChanged);

  private:
    int slotOf(int bib) const;

    const timing::TimingBoard& board_;
    const Competition& data_;
    QHash<int, int> slotOfBib_;
    int shownCount_ = 0;
    int shownLastId_ = 0;
};

// The table itself: whole lines selected one at a time; a double click or Enter on a line asks
// for its time (lineChosen).
class TimingListView : public QTableView {
    Q_OBJECT
  public:
    explicit TimingListView(QWidget* parent);
    // The column widths, once the model is in place.
    void setUpColumns();
  signals:
    void lineChosen(int row);

  protected:
    void keyPressEvent(QKeyEvent* e) override;
};

}  // namespace zalvik
