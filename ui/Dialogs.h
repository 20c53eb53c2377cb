#pragma once
// Message boxes, the file-open dialog and the hand-off to the desktop's spreadsheet program,
// each with a hook so that tests can answer them without a real dialog.

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

class QWidget;

namespace ui {

// The title of every message box: the program's caption.
extern const QString kMessageTitle;

// A modal message box with one sentence and only an OK button.
void ShowMessage(QWidget* parent, const QString& text);

// A modal question with Yes and No buttons (No is the default); true for Yes.
bool AskYesNo(QWidget* parent, const QString& text);

// Asks for a file to open (no filter, no title of its own). nullopt when cancelled. A non-empty
// offeredFolder is added to the places at the dialog's side (where the desktop's own dialog is
// used instead of Qt's, that dialog may not show it).
std::optional<QString> AskOpenFileName(QWidget* parent, const QString& offeredFolder = {});

// Shows a file (the workbook, or a results PDF) in the desktop's own program for it. False
// when the desktop has no program for it or refuses to start one.
bool OpenInSpreadsheetProgram(const QString& path);

// Test hooks. While enabled, ShowMessage records the text instead of showing a box,
// AskOpenFileName answers from the queue (an empty queue, or a nullopt entry, answers cancel)
// AskYesNo records the question and answers from its own queue (an empty queue answers No),
// and OpenInSpreadsheetProgram hands nothing to the desktop.
namespace testing {
void EnableDialogHooks(bool on);
bool DialogHooksEnabled();
QStringList& Messages();  // every message shown since the hooks were enabled or cleared
void QueueFileAnswer(std::optional<QString> answer);
void ClearQueuedFileAnswers();
QStringList& Questions();  // every Yes/No question asked since the hooks were enabled
void QueueYesNoAnswer(bool yes);
// Replaces the hand-off to the spreadsheet program (an empty function restores the default).
void SetSpreadsheetOpener(std::function<void(const QString&)> opener);
// The same with an answer: false plays a desktop without a spreadsheet program.
void SetSpreadsheetOpenerWithAnswer(std::function<bool(const QString&)> opener);
}  // namespace testing

}  // namespace ui
