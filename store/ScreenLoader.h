#pragma once
// Loading a competition: the user picks a results workbook, the program opens it, reads its
// input sheet into the competition data and builds the settings screen's tables and the
// processing screen's grids, tabs and standings from it. A load always ends on the processing
// screen, also when the file choice was cancelled or the file could not be opened.
//
// Faults are never silent: a file that cannot be opened, a cell that cannot be read and bibs
// that more than one competitor carries each give one message naming the file (and the cell).

#include "store/InputSheet.h"

class QWidget;

namespace zalvik {

class Program;

// The whole load action of the data-load screen's 読込ボタン: the steps below, then the
// processing screen's competitor list, its buttons enabled, the processing screen shown and
// the data-load screen discarded.
void RunLoadAction(Program& program);

// The first steps of the load action: make sure the processing screen exists, clear the previous
// competition when a load was attempted before, then the open step.
void BeginLoad(Program& program);

// The open step: asks for the file (a cancel shows "キャンセルボタンが押されましたので戻ります。"
// and opens nothing), opens it and runs the loader on it. Whatever workbook an earlier load
// opened is let go first, so the loader only ever reads the file just chosen.
void OpenWorkbook(Program& program);
// The open step for a file already chosen; messages go over `parent`.
void OpenWorkbookFile(Program& program, const QString& path, QWidget* parent);

// The loader: reads worksheet 1 of the program's open workbook into the competition data and
// builds the screens from it. Stops at the first cell it cannot read, keeping what it read, and
// returns that cell (the caller reports it). *competitorsRead tells whether every competitor row
// was read before it stopped. Without an open workbook it reads nothing.
store::Fault ReadCompetition(Program& program, bool* competitorsRead = nullptr);

// Clears the previous competition before a new load: the competitor fields that the next load
// may not overwrite, the processing screen's grids and entry panel, and the settings screen's
// texts that the loader fills again.
void ResetForReload(Program& program);

}  // namespace zalvik
