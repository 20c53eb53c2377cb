#include "ui/Dialogs.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>
#include <deque>

namespace ui {

const QString kMessageTitle = QStringLiteral("ザルヴィクレース処理");

namespace {

struct Hooks {
    bool enabled = false;
    QStringList messages;
    std::deque<std::optional<QString>> fileAnswers;
    QStringList questions;
    std::deque<bool> yesNoAnswers;
    std::function<bool(const QString&)> opener;
};

Hooks& hooks() {
    static Hooks h;
    return h;
}

}  // namespace

void ShowMessage(QWidget* parent, const QString& text) {
    if (hooks().enabled) {
        hooks().messages.append(text);
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, kMessageTitle, text, QMessageBox::Ok, parent);
    box.exec();
}

bool AskYesNo(QWidget* parent, const QString& text) {
    if (hooks().enabled) {
        hooks().questions.append(text);
        if (hooks().yesNoAnswers.empty()) return false;
        const bool yes = hooks().yesNoAnswers.front();
        hooks().yesNoAnswers.pop_front();
        return yes;
    }
    QMessageBox box(QMessageBox::Question, kMessageTitle, text, QMessageBox::Yes | QMessageBox::No,
                    parent);
    box.button(QMessageBox::Yes)->setText(QStringLiteral("はい"));
    box.button(QMessageBox::No)->setText(QStringLiteral("いいえ"));
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

std::optional<QString> AskOpenFileName(QWidget* parent, const QString& offeredFolder) {
    if (hooks().enabled) {
        if (hooks().fileAnswers.empty()) return std::nullopt;
        auto answer = hooks().fileAnswers.front();
        hooks().fileAnswers.pop_front();
        return answer;
    }
    QFileDialog dialog(parent);
    dialog.setFileMode(QFileDialog::ExistingFile);
    if (!offeredFolder.isEmpty()) {
        // The dialog remembers its places between runs; a place listed already is not added
        // a second time.
        QList<QUrl> places = dialog.sidebarUrls();
        places.append(QUrl::fromLocalFile(offeredFolder));
        dialog.setSidebarUrls(places);
    }
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty() || chosen.first().isEmpty()) return std::nullopt;
    return chosen.first();
}

bool OpenInSpreadsheetProgram(const QString& path) {
    if (hooks().opener) return hooks().opener(path);
    // Under the test hooks nothing is handed to the desktop, even when a test set no opener.
    if (hooks().enabled) return true;
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

namespace testing {

void EnableDialogHooks(bool on) {
    hooks().enabled = on;
    hooks().messages.clear();
    hooks().fileAnswers.clear();
    hooks().questions.clear();
    hooks().yesNoAnswers.clear();
}

bool DialogHooksEnabled() { return hooks().enabled; }

QStringList& Messages() { return hooks().messages; }

void QueueFileAnswer(std::optional<QString> answer) { hooks().fileAnswers.push_back(answer); }

void ClearQueuedFileAnswers() { hooks().fileAnswers.clear(); }

QStringList& Questions() { return hooks().questions; }

void QueueYesNoAnswer(bool yes) { hooks().yesNoAnswers.push_back(yes); }

void SetSpreadsheetOpener(std::function<void(const QString&)> opener) {
    if (!opener) {
        hooks().opener = {};
        return;
    }
    hooks().opener = [opener = std::move(opener)](const QString& path) {
        opener(path);
        return true;
    };
}

void SetSpreadsheetOpenerWithAnswer(std::function<bool(const QString&)> opener) {
    hooks().opener = std::move(opener);
}

}  // namespace testing
}  // namespace ui
