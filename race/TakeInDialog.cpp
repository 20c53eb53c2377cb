#include "race/TakeInDialog.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "ui/Controls.h"
#include "ui/Dialogs.h"

namespace zalvik {

TakeInDialog::TakeInDialog(const std::vector<ResultConflict>& conflicts, const QString& fileName,
                           const QString& journalName, QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("取込確認"));
    setWindowTitle(ui::kMessageTitle);
    setModal(true);
    auto* layout = new QVBoxLayout(this);
    auto* note = new QLabel(
        QStringLiteral("ブック「%1」には、記録ファイル「%2」と結果の違う選手がいます。ほかの"
                       "プログラムで直した結果ならブックの結果を、古いブックで消えた結果なら"
                       "記録ファイルの結果を、選手ごとに選んでください。")
            .arg(fileName, journalName),
        this);
    note->setObjectName(QStringLiteral("取込説明"));
    note->setWordWrap(true);
    layout->addWidget(note);

    const int rows = static_cast<int>(conflicts.size());
    取込一覧_ = new QTableWidget(rows, 4, this);
    取込一覧_->setObjectName(QStringLiteral("取込一覧"));
    取込一覧_->setHorizontalHeaderLabels({QStringLiteral("ゼッケン"), QStringLiteral("氏名"),
                                          QStringLiteral("ブックの結果"),
                                          QStringLiteral("記録ファイルの結果")});
    取込一覧_->verticalHeader()->hide();
    取込一覧_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    取込一覧_->setSelectionMode(QAbstractItemView::NoSelection);
    for (int r = 0; r < rows; ++r) {
        const ResultConflict& c = conflicts[static_cast<size_t>(r)];
        取込一覧_->setItem(r, 0, new QTableWidgetItem(c.bibText));
        取込一覧_->setItem(r, 1, new QTableWidgetItem(c.name));
        // The two results of a row are its two options: the official picks the one to keep.
        auto* group = new QButtonGroup(this);
        auto* file = new QRadioButton(c.fileResult);
        file->setObjectName(ui::ElementName(QStringLiteral("ブック側"), r));
        auto* journal = new QRadioButton(c.journalResult);
        journal->setObjectName(ui::ElementName(QStringLiteral("記録側"), r));
        for (QRadioButton* option : {file, journal}) {
            group->addButton(option);
            connect(option, &QRadioButton::toggled, this, [this] { enableDecision(); });
        }
        取込一覧_->setCellWidget(r, 2, file);
        取込一覧_->setCellWidget(r, 3, journal);
        ブック側_.push_back(file);
        記録側_.push_back(journal);
    }
    取込一覧_->resizeColumnsToContents();
    取込一覧_->horizontalHeader()->setStretchLastSection(true);
    layout->addWidget(取込一覧_);

    auto* buttons = new QHBoxLayout;
    全部ブックボタン_ = new QPushButton(QStringLiteral("すべてブックの結果"), this);
    全部ブックボタン_->setObjectName(QStringLiteral("全部ブックボタン"));
    全部記録ボタン_ = new QPushButton(QStringLiteral("すべて記録ファイルの結果"), this);
    全部記録ボタン_->setObjectName(QStringLiteral("全部記録ボタン"));
    決定ボタン_ = new QPushButton(QStringLiteral("決定"), this);
    決定ボタン_->setObjectName(QStringLiteral("決定ボタン"));
    for (QPushButton* b : {全部ブックボタン_, 全部記録ボタン_, 決定ボタン_}) {
        b->setAutoDefault(false);
        buttons->addWidget(b);
    }
    layout->addLayout(buttons);
    connect(全部ブックボタン_, &QPushButton::clicked, this, [this] { chooseAll(false); });
    connect(全部記録ボタン_, &QPushButton::clicked, this, [this] { chooseAll(true); });
    connect(決定ボタン_, &QPushButton::clicked, this, &QDialog::accept);
    enableDecision();
    resize(std::max(sizeHint().width(), 760), sizeHint().height());
}

void TakeInDialog::chooseAll(bool journal) {
    for (QRadioButton* option : journal ? 記録側_ : ブック側_) option->setChecked(true);
}

void TakeInDialog::enableDecision() {
    bool every = true;
    for (size_t r = 0; r < ブック側_.size(); ++r)
        every = every && (ブック側_[r]->isChecked() || 記録側_[r]->isChecked());
    決定ボタン_->setEnabled(every);
}

std::vector<bool> TakeInDialog::keepsJournal() const {
    std::vector<bool> keep;
    for (QRadioButton* option : 記録側_) keep.push_back(option->isChecked());
    return keep;
}

std::vector<bool> TakeInDialog::Ask(QWidget* parent, const std::vector<ResultConflict>& conflicts,
                                    const QString& fileName, const QString& journalName) {
    TakeInDialog dialog(conflicts, fileName, journalName, parent);
    dialog.exec();
    return dialog.keepsJournal();
}

}  // namespace zalvik
