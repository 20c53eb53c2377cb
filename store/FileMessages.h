#pragma once
// The sentences a user reads when the workbook file cannot be opened, read, created or saved.
// The file layer reports what went wrong as a sheet::FileFault; every sentence about it is worded
// here and nowhere else, each one naming the file.

#include <QString>

#include "sheet/Workbook.h"

namespace zalvik::store {

// The sentence for a fault of open(), worksheet() (lastFault()) or createEmpty(); empty when
// there is no fault.
QString FileFaultMessage(const sheet::FileFault& fault);

// What to tell the user after a save: nothing after an ordinary save; after a save under a new
// name, that the file was changed by another program and where the results went; after a failed
// save, why, and that the changes are kept and written by the next save.
QString SaveMessage(const sheet::SaveResult& saved);

// Why a file could not be written, from the errno that the file layer's write routines
// (sheet/FileWrite.h) or a save left: a short clause such as "ディスクの空きが足りません", for the
// sentence of the file concerned.
QString FileWriteReason(int systemError);

// The note shown beside the timing device's list when its log file (the file that keeps every
// line the device sent) could not be read or written, naming the file; the times received stay
// on the screen and unwritten lines are written with the next ones.
QString TimingLogMessage(const QString& fileName, int systemError, bool reading);
// The timing log reached its size cap (`capBytes`): what arrives is shown, no longer kept.
QString TimingLogFullMessage(const QString& fileName, qint64 capBytes);

// The gate judges' files beside the workbook: the roster (`roster`, the judges and their PINs)
// or the log of their entries could not be read or written. A roster change stays on the screen
// and is written with the next change; an entry that could not be logged is not taken, and the
// phone sends it again.
QString JudgesFileMessage(const QString& fileName, int systemError, bool reading, bool roster);

struct JournalReading;

// What the user is told after reading the journal `fileName` (see JournalReading): why it could
// not be read, or which of its lines were left out; empty when everything was read.
QString JournalReadingMessage(const JournalReading& reading, const QString& fileName);

// The journal `fileName` could not be written (errno `systemError`); the workbook is written
// and saved all the same.
QString JournalWriteMessage(const QString& fileName, int systemError);

// The files the program writes beside the workbook, each worded with the reason above: the live
// page (`path` as the file name alone) and the results sheet's PDF (the whole path).
QString LivePageWriteMessage(const QString& path, int systemError);
QString ResultsPdfWriteMessage(const QString& path, int systemError);

// What to tell the user when the workbook named fileName is to be shown while a spreadsheet
// program still holds it open: that program keeps showing what it read when it opened it.
QString HeldOpenMessage(const QString& fileName);

}  // namespace zalvik::store
