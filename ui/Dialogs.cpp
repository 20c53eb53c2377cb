#include "ui/Dialogs.h"

#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QUrl>
#include <deque>

namespace ui {

const QString kMessageTitle = QStringLiteral("ザルヴィクレース処理");

namespace {

struct Hooks {
    bool enabled = false;
    QStringList messages;
    std::deque<std::optional<QString>> fileAnswers;
    std::function<void(const QString&)> opener;
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

void OpenInSpreadsheetProgram(const QString& path) {
    if (hooks().opener) {
        hooks().opener(path);
        return;
    }
    // Under the test hooks nothing is handed to the desktop, even when a test set no opener.
    if (hooks().enabled) return;
    QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

namespace testing {

void EnableDialogHooks(bool on) {
    hooks().enabled = on;
    hooks().messages.clear();
    hooks().fileAnswers.clear();
}

bool DialogHooksEnabled() { return hooks().enabled; }

QStringList& Messages() { return hooks().messages; }

void QueueFileAnswer(std::optional<QString> answer) { hooks().fileAnswers.push_back(answer); }

void ClearQueuedFileAnswers() { hooks().fileAnswers.clear(); }

void SetSpreadsheetOpener(std::function<void(const QString&)> opener) {
    hooks().opener = std::move(opener);
}

}  // namespace testing
}  // namespace ui
