#pragma once
// The data-load screen: explains where a competition comes from, shows a filled-in example of
// the input sheet, and loads a competition or goes back to the start screen.

#include "app/ScreenBase.h"

class QLabel;
class QPushButton;

namespace ui {
class Grid;
}

namespace zalvik {

class DataLoadScreen : public ScreenBase {
    Q_OBJECT
  public:
    explicit DataLoadScreen(Program& program);

    // The load action of 読込ボタン: loads a competition and always ends on the processing
    // screen, whether or not a workbook was chosen; this screen is then discarded.
    void loadAction();
    // 戻る: back to the start screen; this screen is discarded.
    void goBack();

  protected:
    void closeBox() override;

  private:
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    ui::Grid* OLE1 = nullptr;
    QPushButton* 読込ボタン = nullptr;
    QPushButton* 戻る = nullptr;
};

// Fills a grid with the example input sheet as a spreadsheet shows it: column letters in the
// fixed top row, row numbers in the fixed left column, the cells' display texts in between.
void FillExampleSheet(ui::Grid& grid);

}  // namespace zalvik
