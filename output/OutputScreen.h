#pragma once
// The output settings screen (出力設定画面): the official chooses the class whose official
// results sheet is to be written and starts the output. The chosen class lives in the
// competition data (outputClass), so it outlives this screen, which its back button discards.

#include "app/ScreenBase.h"
#include "ui/Controls.h"

class QGroupBox;
class QPushButton;

namespace zalvik {

class OutputScreen : public ScreenBase {
    Q_OBJECT
  public:
    // Its controls are its own; tests find them by their documented names.
    explicit OutputScreen(Program& program);

  protected:
    void closeBox() override;

  private:
    // The load step: places and captions one class option per class of the competition.
    void placeClassOptions();
    // Writes the results sheet of the chosen class, saves the workbook, writes the PDF beside
    // it, and prints the sheet or shows the workbook.
    void runOutput();
    // Back to the processing screen; this screen is discarded.
    void goBack();

    QPushButton* 戻るボタン_ = nullptr;
    QPushButton* 実行ボタン_ = nullptr;
    QGroupBox* Frame14_ = nullptr;
    QGroupBox* Frame15_ = nullptr;
    ui::OptionArray クラスオプ_;
    QGroupBox* Frame16_ = nullptr;
    ui::OptionArray 出力先オプ_;
};

}  // namespace zalvik
