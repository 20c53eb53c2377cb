#pragma once
// The output settings screen (出力設定画面): the official chooses the class whose official
// results sheet is to be written and starts the output. The chosen class lives in the
// competition data (outputClass), so it outlives this screen, which its back button discards.

#include "app/ScreenBase.h"
#include "ui/Controls.h"

class QCheckBox;
class QGroupBox;
class QLabel;
class QPushButton;

namespace zalvik {

class OutputScreen : public ScreenBase {
    Q_OBJECT
  public:
    explicit OutputScreen(Program& program);

    QPushButton* 戻るボタン() const { return 戻るボタン_; }
    QPushButton* 実行ボタン() const { return 実行ボタン_; }
    QGroupBox* Frame14() const { return Frame14_; }
    QGroupBox* Frame15() const { return Frame15_; }
    QGroupBox* Frame16() const { return Frame16_; }
    ui::OptionArray& クラスオプ() { return クラスオプ_; }
    ui::OptionArray& 出力先オプ() { return 出力先オプ_; }
    // The frame "速報": publishing the live results page on the venue's network.
    QGroupBox* Frame17() const { return Frame17_; }
    QCheckBox* 速報公開() const { return 速報公開_; }
    QLabel* 速報URL() const { return 速報URL_; }

  protected:
    void closeBox() override;

  private:
    // The load step: places and captions one class option per class of the competition.
    void placeClassOptions();
    // Writes the results sheet of the chosen class, saves the workbook and shows it.
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

    // The live results frame (in OutputScreenLive.cpp).
    void createLiveFrame();
    void onPublishClicked(bool publish);
    void showLiveAddress();
    QGroupBox* Frame17_ = nullptr;
    QCheckBox* 速報公開_ = nullptr;
    QLabel* 速報URL_ = nullptr;
};

}  // namespace zalvik
