#pragma once
// The take-in's question about conflicting results (取込確認). After another program saved the
// workbook, the file is read again and this program's journaled results go back into it. A
// competitor whose row the file holds with another result than the journal may have been
// corrected there on purpose, or the file may be an older copy: only the official can tell.
// The dialog lists each such competitor with both results and lets the official keep the
// file's or the journal's, for each (an option per row) or for all (a button each).

#include <QDialog>
#include <vector>

#include "race/ResultDesk.h"

class QPushButton;
class QRadioButton;
class QTableWidget;

namespace zalvik {

class TakeInDialog : public QDialog {
    Q_OBJECT
  public:
    TakeInDialog(const std::vector<ResultConflict>& conflicts, const QString& fileName,
                 const QString& journalName, QWidget* parent);

    // Asks, and answers for each conflict whether the journal's result is the one kept.
    static std::vector<bool> Ask(QWidget* parent, const std::vector<ResultConflict>& conflicts,
                                 const QString& fileName, const QString& journalName);
    std::vector<bool> keepsJournal() const;

  protected:
    // A result has to be chosen for every competitor: closing the dialog decides nothing.
    void reject() override {}

  private:
    void chooseAll(bool journal);
    void enableDecision();

    QTableWidget* 取込一覧_ = nullptr;
    std::vector<QRadioButton*> ブック側_;
    std::vector<QRadioButton*> 記録側_;
    QPushButton* 全部ブックボタン_ = nullptr;
    QPushButton* 全部記録ボタン_ = nullptr;
    QPushButton* 決定ボタン_ = nullptr;
};

}  // namespace zalvik
