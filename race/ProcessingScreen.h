#pragma once
// The processing screen (処理画面): the hub of a race day. It holds the competitor list, the
// results grid, the entry panel for one competitor's run, the class standings on tabbed pages
// and the buttons that lead to the other screens.
//
// The class tabs, the results grid and the standings are rebuilt from the competition data by
// the loader and by the settings screen's set action as well as by this screen itself, so
// those procedures are public, together with a few intents that the loader and the settings
// screen ask of this screen (show the buoy table, the gate options, a loaded result row; clear
// the panel for a new load). Its controls are its own: other screens never touch them, and
// tests find them by their documented names.

#include <QHash>
#include <QRect>
#include <QString>
#include <array>
#include <vector>

#include "app/ScreenBase.h"
#include "store/Journal.h"
#include "ui/Controls.h"

class QColor;
class QEvent;
class QPoint;
class QGroupBox;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QPushButton;
class QShowEvent;
class QTableView;

namespace ui {
class Grid;
class TabStrip;
}  // namespace ui

namespace zalvik::store {
struct ResultRow;
}

namespace zalvik {

struct DeskOutcome;
struct ResultRequest;
class TimingListModel;
class TimingListView;
class TimingSetupDialog;
class JudgeSetupDialog;

class ProcessingScreen : public ScreenBase {
    Q_OBJECT
  public:
    static constexpr int kClassPages = 10;
    static constexpr int kGateOptions = kMaxGates;  // one option for every gate a race may have
    static constexpr int kBuoyOptions = 5;
    static constexpr int kStatusOptions = 4;

    explicit ProcessingScreen(Program& program);

    // --- Shared procedures -------------------------------------------------------------------

    // Rebuilds the tabs of タブ from the class table: tab 1 always (even without classes), one
    // tab per further class; shows the pages in use and hides the rest.
    void SetUpClassTabs();
    // Lays the pages in use exactly over the tab strip's client area and places each standings
    // grid inside its page. Always called after SetUpClassTabs.
    void LayOutClassPages();
    // Shapes グリッド結果 for the current competitor and gate counts and writes its header row.
    // The competitor rows are left as they are.
    void SetUpResultsGrid();
    // Builds グリッドリスト from the competitor table (bib, name, affiliation per slot) and shows
    // it.
    void BuildCompetitorList();
    // Rebuilds the standings lists of every class from the competition data and shows them on
    // the class grids グリッド順位. Runs at the end of a load and after the set action; the
    // result desk rebuilds them itself after every registration.
    void RebuildStandings();
    // Enables the buttons that need a loaded competition: settings, spreadsheet and output.
    void EnableLoadedButtons();
    // Brings class page 絵(index) in front of the other pages (index 0..9).
    void BringPageToFront(int index);
    // Captions the buoy options ブイ(0..4) with the buoy names 1..5.
    void ShowBuoyCaptions();
    // Lets go of the workbook that the last load opened. The return button does this when a
    // load got past the choice of file. Changes a failed save left unwritten are saved first;
    // false (with one message) when that fails, and the workbook stays open.
    bool CloseWorkbook();

    // --- Result entry (race/ProcessingScreenEntry.cpp) ------------------------------------------

    // Totals the scores of the buoys chosen at the gates into 合計 (" 12").
    void SumBuoyPoints();
    // Empties the entry panel, then fills it again with the stored result of the competitor
    // whose bib ゼッケン holds, the row being found through the bibs the results grid shows. A
    // competitor with DS, DF or DQ, or without a result, leaves the panel empty.
    void ShowStoredResult();

    // --- What the loader and the settings screen ask of this screen -----------------------------

    // Captions the buoy options ブイ(0..4) with the buoy names and their point labels
    // ブイポイント(0..4) with the scores in parentheses ("(3)").
    void ShowBuoyTable();
    // Only the point labels ブイポイント(0..4), from the scores.
    void ShowBuoyPointLabels();
    // Shows exactly one gate option (with its label) per gate of gateCount, captioned with a
    // space and the gate number; hides the others.
    void ShowGateOptions();
    // Writes a competitor row of the results grid as the loader read it from the input sheet.
    void ShowResultRow(int slot, const store::ResultRow& row);
    // After a load: the tab strip, the class pages in use, page 1 in front and Frame12 shown.
    void ShowClassPages();
    // After a load that stopped half-way: reshapes the results grid when it no longer matches
    // the competitor and gate counts, so that no registration addresses rows or gate columns it
    // does not have, and makes the gate options follow the count.
    void KeepResultsGridInStep();
    // Before a new load, while the counts still describe the previous competition: empties its
    // rows of the results grid, the competitor list and the standings, and the entry panel.
    void ClearForReload();

    // The screen's caption: the title centred in the title bar by leading ideographic spaces.
    static QString Caption();

  protected:
    void closeBox() override;
    bool event(QEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

  private:
    // The window may grow beyond the size it is laid out for: the competitor list, the results
    // grid and the standings take the extra room; every other control keeps its size and its
    // place beside the frame or corner it stands with. At the laid-out size nothing moves.
    void fitToWindow();
    QSize laidOutSize_;
    QHash<QWidget*, QRect> laidOutGeometry_;  // each control's place at the laid-out size
    QSize standingsGrowth_;                   // the extra room of the standings, in pixels

    void buildCompetitorFrame();
    void buildEntryPanel();
    void buildStandingsFrame();
    void buildButtons();

    // Standings (race/ProcessingScreenStandings.cpp): the grids of the standings as the data
    // holds them now, and the received times that say which runs are registered.
    void SetUpStandingsGrids();
    void showStandings();

    void onCompetitorListClicked();
    void onReturnClicked();

    // Result entry (race/ProcessingScreenEntry.cpp).
    void connectEntryHandlers();
    void onBibChanged();
    void onStatusClicked(int s);
    void onGateClicked(int g);
    // Makes gate g the current one as a click on its option shows it (the option selected,
    // the buoys offered there), without totalling the buoys again.
    void makeGateCurrent(int g);
    // Shows the buoy options (and their scores) that gate g offers and hides the others.
    void showBuoyOptionsOf(int g);
    // The buoy option chosen at gate g when its label shows a choice, -1 otherwise.
    int shownChoice(int g) const;
    // The slot of the competitor ゼッケン names; 0 for an empty box or a bib nobody carries.
    int slotOnPanel() const;
    void onBuoyClicked(int b);
    // What the panel holds, as the result desk takes it.
    ResultRequest requestOfPanel() const;
    void onRegisterClicked();
    // After a refused registration: the focus on the field to mend.
    void mend(const DeskOutcome& outcome);
    // Rewrites row c of グリッド結果 from the competitor's stored result: bib, name, the
    // formatted run or "-", "-" and the status word, and the gate points; an empty row for a
    // competitor without a result.
    void showResultRow(int c);

    // Taking back a result and rebuilding from the journal (race/ProcessingScreenTakeBack.cpp).
  public:
    // After a load: when the journal beside the workbook holds registrations or take-backs the
    // workbook lacks, asks whether to apply them, and applies them and saves once on Yes. A
    // journal of another competition is reported, never applied. When the journal says that
    // the workbook's later results were saved under a new name, offers that file first, and
    // returns its path when the official chose to load it instead (empty otherwise).
    QString OfferJournalRecovery();
    // The bib the entry panel shows (what ゼッケン holds).
    QString ShownBib() const;
    // After the workbook was read again because another program saved it and the desk put
    // `entries` back into it: the competitor list as the file now has it, their rows and the
    // standings, and the entry panel showing the competitor `shownBib` with the race points of
    // its run, as after the registration.
    void ShowTakenIn(const std::vector<store::JournalEntry>& entries, const QString& shownBib);

  private:
    void connectTakeBack();
    // The competitor slot a context-menu request at `pos` (in the grid's viewport) concerns,
    // 0 for none; a request from the keyboard concerns the grid's current row.
    int slotForContextMenu(ui::Grid* grid, const QPoint& pos, bool fromKeyboard) const;
    void showTakeBackMenu(ui::Grid* grid, const QPoint& pos, bool fromKeyboard);
    void onTakeBackChosen(int slot);
    // Row c as the desk left it; the panel emptied when it shows a competitor whose result
    // went.
    void showChangedRow(int c);
    // The rows of the competitors of journal entries the desk applied, and the standings.
    void showChangedRows(const std::vector<store::JournalEntry>& entries);
    // Empties the entry panel as a fresh start shows it.
    void emptyEntryPanel();

    // Keyboard entry (race/ProcessingScreenKeys.cpp): the focus road through the entry panel,
    // one key per gate, status keys and registration by key.
    void installEntryKeys();
    bool eventFilter(QObject* watched, QEvent* e) override;
    bool onEntryKey(QWidget* at, QKeyEvent* key);
    // Checks the bib the official commits; false (after its message, with the focus back in
    // ゼッケン and its text selected) when it names nobody.
    bool commitBib();
    // Moves the gate entry to gate g (the register button after the last gate).
    void focusGate(int g);
    void chooseBuoyByKey(int g, int buoy);
    void backOneGate(int g);
    // Where a registration leaves the official: in ゼッケン, its text selected.
    void returnToBib();
    // Keys in the results grid and the competitor list: the take-back menu, back to the bib.
    bool onGridKey(ui::Grid* grid, QKeyEvent* key);
    // Takes the focus to グリッド結果 on the row of the competitor the panel shows.
    void focusResultsRow();
    // A control whose click leaves this screen.
    bool leavesScreen(const QWidget* w) const;
    // Brings the next (step 1) or previous (step -1) class page in front, wrapping round.
    void turnClassPage(int step);
    // A time or a buoy entered while the panel shows DS, DF or DQ is a run: OK is chosen.
    void takeEntryAsRun();

    ui::Grid* グリッドリスト_ = nullptr;
    ui::Grid* グリッド結果_ = nullptr;
    ui::TabStrip* タブ_ = nullptr;
    std::array<QWidget*, kClassPages> 絵_{};
    std::array<ui::Grid*, kClassPages> グリッド順位_{};
    QGroupBox* Frame12_ = nullptr;
    QGroupBox* Frame1_ = nullptr;
    QGroupBox* Frame9_ = nullptr;

    QLineEdit* ゼッケン_ = nullptr;
    QLineEdit* 氏名_ = nullptr;
    QLineEdit* 所属_ = nullptr;
    QLineEdit* 分_ = nullptr;
    QLineEdit* 秒_ = nullptr;
    ui::OptionArray Gop_;
    std::array<QLabel*, kGateOptions> 色_{};
    ui::OptionArray ブイ_;
    std::array<QLabel*, kBuoyOptions> ブイポイント_{};
    ui::OptionArray DSFQ_;
    QLabel* 合計_ = nullptr;
    QLabel* RP_ = nullptr;
    QLabel* 速報状態_ = nullptr;  // why the live page cannot be written; hidden while it can

    // Times from the timing device (race/ProcessingScreenTiming.cpp).
  public:
    // Brings 計時一覧 up to date with the runs received and the results registered; shown
    // while the workbook has received times, hidden otherwise.
    void ShowTimingList(bool competitorsChanged = true);

  private:
    void buildTimingArea();
    // Whether the device or the judges sent anything: the list is there once they did.
    bool hasReceivedLines() const;
    void makeTimingList();
    // Keeps the timing controls where the picture is.
    void placeTimingArea();
    void showTimingNote();
    // After a bib is picked: the device's run time of that competitor, when there is one not yet
    // registered, not doubtful, and the time boxes are empty, goes into them.
    void offerDeviceTime();
    // Puts the time of the device's run `runId` into the time boxes, marked as coming from the
    // device.
    void putDeviceTime(int runId, int hundredths);
    void markDeviceTime(bool on);
    // Empties the time boxes when the run whose time they hold no longer stands as it was put
    // there (cleared, its bib taken back or given to another).
    void withdrawStaleDeviceTime();
    void onTimingLineChosen(int row);
    // Gives the run on `row` the bib `bib` (0 takes it back), saying why when it cannot be.
    bool giveTimingBib(int row, int bib);
    void showTimingMenu(int row, const QPoint& at);
    // Opens the list in a window of its own, or puts it back over the picture.
    void toggleTimingWindow();
    QPushButton* 計時ボタン_ = nullptr;
    QPushButton* 計時一覧ボタン_ = nullptr;
    TimingListView* 計時一覧_ = nullptr;
    TimingListModel* timingModel_ = nullptr;
    QWidget* 計時一覧画面_ = nullptr;
    QLabel* 計時メモ_ = nullptr;
    QWidget* picture_ = nullptr;
    TimingSetupDialog* timingDialog_ = nullptr;
    bool fillingDeviceTime_ = false;
    bool deviceTimeShown_ = false;
    int deviceRunShown_ = 0;  // the run whose time the boxes hold, while marked
    int deviceHundredthsShown_ = -1;
    QString timeBoxTip_[2];

    // The gate judges (race/ProcessingScreenJudges.cpp): their button, and what they propose
    // on the entry panel for a competitor without a registered result, as the device time is
    // put into the time boxes: the buoy of each gate they agree on, tinted, and the gates where
    // they disagree left open and marked; their DQs as a note, never chosen for the official.
    void buildJudgesArea();
    // The judges' values of the competitor ゼッケン names, at every gate the official has not
    // touched; nothing for a competitor with a registered result.
    void offerJudgeValues();
    // Every gate as the official's again, untinted, and the DQ note hidden: the panel shows a
    // stored result, an empty panel or the result just registered.
    void forgetJudgeValues();
    // Gate g is the official's from now on: the judges' values no longer come into it.
    void takeGateFromJudges(int g);
    void markJudgeGate(int g, const QColor& tint, const QString& tip);
    // The first gate without the judges' buoy, once any gate has one (0 otherwise).
    int firstGateToEnter() const;
    // The time from the device and the buoy of every gate from the judges, with no DQ
    // proposed: the official's Enter after the bib goes straight to the register button.
    bool runFromOutside() const;
    enum class GateFrom : unsigned char { Nobody, Judges, Disagreement, Official };
    std::array<GateFrom, kGateOptions> gateFrom_{};
    QPushButton* 審判ボタン_ = nullptr;
    QLabel* 審判DQ_ = nullptr;
    JudgeSetupDialog* judgesDialog_ = nullptr;

    QPushButton* 登録ボタン_ = nullptr;
    QPushButton* 基本設定ボタン_ = nullptr;
    QPushButton* 出力ボタン_ = nullptr;
    QPushButton* エクセルボタン_ = nullptr;
    QPushButton* 終了ボタン_ = nullptr;
};

}  // namespace zalvik
