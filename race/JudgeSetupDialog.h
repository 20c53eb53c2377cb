#pragma once
// The judges' set-up dialog (審判設定画面): the gate judges of the workbook, each with an
// optional name, the gates they watch and the PIN their phone logs in with, the QR code of the
// judge page's address, and the button that withdraws a judge at once. The judge page is served
// by the live server, so the dialog says so while publishing is off and offers to turn it on.

#include <QDialog>
#include <QImage>

class QCheckBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace zalvik {

class Program;

// The address a judge's phone opens: the live page's address with "judge"; empty while the
// live server is not running.
QString JudgePageUrl(Program& program);

// `text` as a QR code, `modulePixels` pixels per module with the quiet zone around it; a null
// image when it cannot be encoded.
QImage QrImage(const QString& text, int modulePixels);

class JudgeSetupDialog : public QDialog {
    Q_OBJECT
  public:
    JudgeSetupDialog(Program& program, QWidget* parent);

  private:
    void showJudges();
    void showSelected();
    void showPublishing();
    int selectedId() const;

    Program& program_;
    QListWidget* 審判一覧_ = nullptr;
    QPushButton* 審判追加ボタン_ = nullptr;
    QLineEdit* 審判名_ = nullptr;
    QCheckBox* 審判ゲート_[12] = {};
    QLabel* 審判PIN_ = nullptr;
    QLabel* 審判QR_ = nullptr;
    QLabel* 審判URL_ = nullptr;
    QPushButton* 審判無効ボタン_ = nullptr;
    QLabel* 審判公開メモ_ = nullptr;
    QPushButton* 審判公開ボタン_ = nullptr;
    QLabel* 審判状態_ = nullptr;
    bool showing_ = false;  // filling the fields, not the official's own change
};

}  // namespace zalvik
