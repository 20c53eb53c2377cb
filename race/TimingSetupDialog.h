#pragma once
// The timing set-up dialog (計時設定画面): how the timing device is connected (serial line or
// network), which family of device it is, and what the connection is doing now. The choices
// are remembered on this computer, so that the connection comes back by itself the next time
// the program starts or a workbook is loaded.

#include <QDialog>

#include "timing/TimingLink.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace zalvik {

class Program;

// The connection last chosen on this computer (Method::None when none ever was).
timing::LinkSettings RememberedLinkSettings();
void RememberLinkSettings(const timing::LinkSettings& settings);

// The baud rates offered, the device's usual one first.
const QList<int>& OfferedBaudRates();

class TimingSetupDialog : public QDialog {
    Q_OBJECT
  public:
    TimingSetupDialog(Program& program, QWidget* parent);

    // The text of 計時状態: the link's state, the count of lines that could not be read and a
    // problem with the log file, one per line.
    static QString StatusText(Program& program);

  private:
    void showSettings(const timing::LinkSettings& s);
    void enableFieldsOfMethod();
    void onConnectClicked();
    void showStatus();

    Program& program_;
    QComboBox* 計時方式_ = nullptr;
    QComboBox* 計時機種_ = nullptr;
    QComboBox* 計時ポート_ = nullptr;
    QComboBox* 計時速度_ = nullptr;
    QLineEdit* 計時アドレス_ = nullptr;
    QSpinBox* 計時上限_ = nullptr;
    QPushButton* 計時接続ボタン_ = nullptr;
    QLabel* 計時状態_ = nullptr;
};

}  // namespace zalvik
