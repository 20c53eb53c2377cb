#pragma once
// The settings screen (設定画面): competition name, venue and date, the class table, the buoy
// table, the number of gates and the buoys offered at each gate.
//
// The gate and buoy procedures SetUpGateGrid and FillSettingsTables are public: the loader runs
// them on this screen while it reads a workbook, and they also keep the processing screen's gate
// options, buoy options and point labels in step with the settings.

#include <QString>
#include <optional>

#include "app/ScreenBase.h"
#include "store/InputSheet.h"

class QComboBox;
class QDateEdit;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QShowEvent;

namespace ui {
class Grid;
}

namespace zalvik {

class SettingsScreen : public ScreenBase {
    Q_OBJECT
  public:
    // Creating the screen builds its controls and nothing else; the load step comes with
    // EnsureLoaded.
    explicit SettingsScreen(Program& program);

    // --- Gates and buoys -----------------------------------------------------------------------

    // Takes the gate count from the text of ゲート数 into gateCount and shapes the gate grid
    // (one row per gate under " GNo" and " ﾌﾞｲ数"). A text of 0 or without a leading number
    // hides the grid and leaves gateCount alone; a count outside 0..12 changes nothing and
    // returns false.
    bool SetUpGateGrid();

    // Fills the gate grid (buoys per gate, read from column 24 of the open workbook's input
    // sheet; without a workbook the counts held in memory are shown), the buoy grid and the
    // class grid from the competition data, and captions and shows the processing screen's buoy
    // options, point labels and gate options. Returns the first cell of column 24 that could not
    // be read; the gates from there on keep the counts held in memory, everything else is
    // still filled.
    store::Fault FillSettingsTables();

    // Shows the competition name, venue and date of the competition data in their boxes; the
    // date picker shows its initial date when no date is stored.
    void ShowEventDetails();

    // Empties the class grid's rows below the class count. Done when the grid is filled by a
    // load, so that a name left there from an earlier competition is not taken as a class by
    // the next set action; names typed there later stay.
    void EmptyClassRowsBelowCount();

    // --- What the loader asks of this screen ----------------------------------------------------

    // Runs the screen's load step once after it was created: the lists, the competition
    // details, the date, the gate count and the three grids from the competition data (and the
    // buoys per gate from the open workbook). Showing the screen runs it; the loader runs it
    // when it first puts a gate count into the screen.
    void EnsureLoaded();
    // Puts the workbook's gate count text into ゲート数.
    void SetGateCountText(const QString& text);
    // Hides the cell editors of the gate grid and the buoy grid.
    void HideCellEditors();
    // Before a new load: empties the buoy names and scores, the competition name, the venue and
    // the gate count, which the loader fills again.
    void ClearForReload();

    // 戻るボタン: back to the processing screen without taking anything over; this screen is
    // discarded.
    void goBack();

    // Command1 (選定完了), the set action: takes everything shown here into the competition data,
    // rebuilds the processing screen's gate options, point labels, class tabs, class pages and
    // results grid columns, writes the settings block of the input sheet, saves the workbook and
    // returns to the processing screen; this screen is hidden, not discarded. A buoy score that
    // does not fit -32768..32767, or a gate count text for more than twelve gates, is refused
    // with a message before anything is applied, and the screen stays.
    void applySettings();

  protected:
    void closeBox() override;
    void showEvent(QShowEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

  private:
    void buildControls();
    void loadHandler();
    void SetUpBuoyGrid();
    void SetUpClassGrid();

    void onGateCountPicked();
    void onGateCountKeyUp();
    void onGateEditorLostFocus();

    // The cell editors shared by the three grids: a click lays the grid's editor over the cell,
    // every change of the editor's text goes into the grid's current cell at once.
    void connectEditor(ui::Grid* grid, QLineEdit* editor, bool hideOnScroll);
    void openEditor(ui::Grid* grid, QLineEdit* editor);

    // The set action's checks; the message for the first value that must be refused, empty when
    // everything can be applied.
    QString refusalBeforeApplying() const;
    void writeAndSave(const QDate& eventDate);

    QLineEdit* 大会名称_ = nullptr;
    QComboBox* 場所コンボ_ = nullptr;
    QDateEdit* 開催日_ = nullptr;
    QComboBox* ゲート数_ = nullptr;
    ui::Grid* グリッドクラス名_ = nullptr;
    ui::Grid* グリッドV名_ = nullptr;
    ui::Grid* グリッドV数_ = nullptr;
    QLineEdit* Text1_ = nullptr;
    QLineEdit* Text2_ = nullptr;
    QLineEdit* Text3_ = nullptr;
    QPushButton* Command1_ = nullptr;
    QPushButton* 戻るボタン_ = nullptr;

    // Set while the gate grid's editor has had the focus and its count has not been checked
    // since: the check runs once per visit to the editor.
    bool gateCheckPending_ = false;
    // Whether the load step has run since the screen was created.
    bool loaded_ = false;
};

}  // namespace zalvik
