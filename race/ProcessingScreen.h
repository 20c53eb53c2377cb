#pragma once
// The processing screen (処理画面): the hub of a race day. It holds the competitor list, the
// results grid, the entry panel for one competitor's run, the class standings on tabbed pages
// and the buttons that lead to the other screens.
//
// The class tabs, the results grid and the standings are rebuilt from the competition data by
// the loader and by the settings screen's set action as well as by this screen itself, so
// those procedures are public. The controls are reachable by their documented names for the
// same reason: the loader fills the grids, the settings screen captions the buoy options.

#include <QString>
#include <array>

#include "app/ScreenBase.h"
#include "ui/Controls.h"

class QEvent;
class QGroupBox;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QPushButton;
class QShowEvent;

namespace ui {
class Grid;
class TabStrip;
}  // namespace ui

namespace zalvik {

class ProcessingScreen : public ScreenBase {
    Q_OBJECT
  public:
    static constexpr int kClassPages = 10;
    static constexpr int kGateOptions = 12;
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
    // the class grids グリッド順位. Runs after every registration and at the end of a load.
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

    // --- Result entry (race/ResultEntryScreen.cpp) ------------------------------------------

    // Totals the scores of the buoys chosen at the gates into 合計 (" 12").
    void SumBuoyPoints();
    // Empties the entry panel, then fills it again with the stored result of the competitor
    // whose bib ゼッケン holds, as the results grid and the competitor table keep it. A
    // competitor with DS, DF or DQ, or without a result, leaves the panel empty.
    void ShowStoredResult();
    // Writes the result of the competitor whose bib ゼッケン holds into that competitor's row
    // of the input sheet, the row being found by the bib cells of the sheet. Without an open
    // workbook it says so once and writes nothing. True when a row was written.
    bool WriteResultRow();

    // --- Controls, by their documented names -------------------------------------------------

    ui::Grid* グリッドリスト() const { return グリッドリスト_; }
    ui::Grid* グリッド結果() const { return グリッド結果_; }
    ui::TabStrip* タブ() const { return タブ_; }
    QWidget* 絵(int i) const { return 絵_.at(i); }
    ui::Grid* グリッド順位(int i) const { return グリッド順位_.at(i); }
    QGroupBox* Frame12() const { return Frame12_; }

    QLineEdit* ゼッケン() const { return ゼッケン_; }
    QLineEdit* 氏名() const { return 氏名_; }
    QLineEdit* 所属() const { return 所属_; }
    QLineEdit* 分() const { return 分_; }
    QLineEdit* 秒() const { return 秒_; }
    ui::OptionArray& Gop() { return Gop_; }
    QLabel* 色(int i) const { return 色_.at(i); }
    ui::OptionArray& ブイ() { return ブイ_; }
    QLabel* ブイポイント(int i) const { return ブイポイント_.at(i); }
    ui::OptionArray& DSFQ() { return DSFQ_; }
    QLabel* 合計() const { return 合計_; }
    QLabel* RP() const { return RP_; }

    QPushButton* 登録ボタン() const { return 登録ボタン_; }
    QPushButton* 基本設定ボタン() const { return 基本設定ボタン_; }
    QPushButton* 出力ボタン() const { return 出力ボタン_; }
    QPushButton* エクセルボタン() const { return エクセルボタン_; }
    QPushButton* 終了ボタン() const { return 終了ボタン_; }

    // The screen's caption: the title centred in the title bar by leading ideographic spaces.
    static QString Caption();

  protected:
    void closeBox() override;
    bool event(QEvent* e) override;
    void showEvent(QShowEvent* e) override;

  private:
    void buildCompetitorFrame();
    void buildEntryPanel();
    void buildStandingsFrame();
    void buildButtons();

    // Standings (race/StandingsScreen.cpp).
    void SetUpStandingsGrids();
    void ShowStandings();

    void onCompetitorListClicked();
    void onReturnClicked();

    // Result entry (race/ResultEntryScreen.cpp).
    void connectEntryHandlers();
    void onBibChanged();
    void onStatusClicked(int s);
    void onGateClicked(int g);
    // Makes gate g the current one as a click on its option shows it (the option selected,
    // the buoys offered there), without totalling the buoys again.
    void makeGateCurrent(int g);
    // Shows the buoy options (and their scores) that gate g offers and hides the others.
    void showBuoyOptionsOf(int g);
    void onBuoyClicked(int b);
    void onRegisterClicked();
    // The save that ends a registration, and its report when the file could not be saved
    // as it was.
    void saveAfterRegistration();

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

    ui::Grid* グリッドリスト_ = nullptr;
    ui::Grid* グリッド結果_ = nullptr;
    ui::TabStrip* タブ_ = nullptr;
    std::array<QWidget*, kClassPages> 絵_{};
    std::array<ui::Grid*, kClassPages> グリッド順位_{};
    QGroupBox* Frame12_ = nullptr;

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

    QPushButton* 登録ボタン_ = nullptr;
    QPushButton* 基本設定ボタン_ = nullptr;
    QPushButton* 出力ボタン_ = nullptr;
    QPushButton* エクセルボタン_ = nullptr;
    QPushButton* 終了ボタン_ = nullptr;
};

}  // namespace zalvik
