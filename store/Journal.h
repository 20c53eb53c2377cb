#pragma once
// The journal beside the results workbook: one line for every change the program makes to the
// workbook, appended and flushed to disk before the workbook itself is changed. If the workbook
// is later damaged, replaced by an older copy or its backup, or a save never reached the disk,
// the results registered since can be rebuilt from it.
//
// The file is `<workbook name without extension>.journal.csv` in the workbook's folder: UTF-8
// with a byte order mark, CRLF line ends and a heading line, so that a spreadsheet program opens
// it with its Japanese intact. It is only ever appended to. A line holds the local time to the
// second, what was done, the bib and the competitor's name, then the values written: run time,
// buoy points, race points, status and the gate points; or, for the settings and the results
// sheet, what was written there. Every line ends with the identity of the workbook it belongs to
// and a check over the line's own bytes (CRC-32), so that a line cut or torn by a crash is known
// as damaged and never applied; lines of older journals, written without the check, are read as
// before. The first line a session writes names the workbook: its identity, event name and date.
// A text field that a spreadsheet program would take for a formula (it begins with =, +, -, @ or
// a tab) is written with a leading apostrophe, which reading takes off again.

#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

#include "store/SettingsWriter.h"

namespace sheet {
class Worksheet;
}

namespace zalvik::store {

struct JournalEntry {
    // Workbook: the identity, event name and date of the workbook the following lines belong
    // to (details: event name, date). Continuation: the workbook was saved under a new name,
    // where its later results are (details: the new file name).
    enum class Action { Registration, TakeBack, Settings, ResultsSheet, Workbook, Continuation };
    QString time;  // yyyy-MM-dd HH:mm:ss, local time
    Action action = Action::Registration;
    int bib = 0;
    QString name;
    // Registration: the values written to the competitor's row.
    float runTime = 0;
    float buoyPoints = 0;
    float racePoints = 0;
    int status = 0;
    std::vector<QString> gates;
    // Settings and results sheet: what was written, one field each.
    QStringList details;
    // Entries of this session also keep what they wrote in typed form, so that the change can
    // be made again on a workbook read afresh (a journal read from its file has only details).
    std::vector<SettingsCell> settingsCells;  // Settings: the cells, in the order written
    int classNo = 0;                          // ResultsSheet: the class of the run
    int lineNumber = 0;  // 1-based line of the file it was read from; 0 for a new entry
    // The identity of the workbook the entry belongs to; empty for a line of an older journal,
    // whose workbook is not known.
    QString workbookId;
};

// The journal entry of the settings block written by the set action: one "cell=value" field per
// cell, in the order written.
JournalEntry SettingsEntry(const std::vector<SettingsCell>& cells);
// The journal entry of a results-sheet run for class k.
JournalEntry ResultsSheetEntry(int classNo, const QString& className);

// The journal's path for a workbook at `workbookPath`.
QString JournalPathFor(const QString& workbookPath);

// The word the journal uses for an action ("登録", "取消", "設定", "成績表", "ブック", "続き").
QString ActionWord(JournalEntry::Action action);

// One line of the journal, CRLF included.
QByteArray JournalLine(const JournalEntry& entry);

// The current local time in the journal's form.
QString JournalTimeNow();

// What reading a journal found. A journal that is not there is not a fault.
struct JournalReading {
    bool exists = false;
    std::vector<JournalEntry> entries;    // in file order, Workbook lines aside
    std::vector<JournalEntry> workbooks;  // the Workbook lines, in file order
    int unreadableLines = 0;              // lines that do not read as an entry, or fail their check
    bool truncatedLastLine = false;       // the last line has no line end (a write cut short)
    // Why the file could not be read at all.
    enum class Problem { None, Folder, Unreadable, NotAFile, TooLarge } problem = Problem::None;
    // One sentence for the user naming the file when something could not be taken; empty
    // when everything was read.
    QString message(const QString& fileName) const;
};

// The largest journal that is read; a race day writes well under a megabyte.
constexpr qint64 kMaxJournalBytes = 64LL * 1024 * 1024;

// Reads the journal at `path`. Never changes the file.
JournalReading ReadJournal(const QString& path);
// The same, from the bytes of a file.
JournalReading ParseJournal(const QByteArray& bytes);

// The custom document property of the workbook that holds its journal identity.
constexpr const char kWorkbookIdProperty[] = "ZalvikRaceJournalId";

// Which workbook the journal lines are written for.
struct JournalOwner {
    QString id;  // the identity stored in the workbook
    QString eventName;
    QString eventDate;
};

// Appends journal lines. Each append writes the line with one write and flushes it to disk
// before returning; the journal is never read or rewritten here (only its last byte, once, to
// mark a line a crash cut short), so the cost of a line does not grow with the journal.
class JournalWriter {
  public:
    // Appends `entry` to the journal of the workbook at `workbookPath`, stamped with the owner's
    // identity; the first line written to a journal since the last reset is preceded by the
    // owner's Workbook line. On failure, returns the message for the user the first time since
    // the last line that was written (one message per outage) and an empty text after that,
    // and nullopt when the line was written.
    std::optional<QString> append(const QString& workbookPath, const JournalEntry& entry,
                                  const JournalOwner& owner = {});
    // Forgets the reported failure and this session's entries: a new workbook was opened.
    void reset();
    // The entries appended since the last reset, in order (written or not).
    const std::vector<JournalEntry>& sessionEntries() const { return session_; }

  private:
    bool failureReported_ = false;
    QString checkedPath_;  // a journal whose end has been checked and named its workbook
    std::vector<JournalEntry> session_;
};

// The entries of a journal that belong to one workbook.
struct JournalShare {
    // The identity the entries were matched by: the workbook's own or, for a workbook that has
    // none yet (a copy from before its first journaled change), the identity of the journal's
    // Workbook line with the same event name and date. Empty when neither is known.
    QString id;
    // The entries of that identity and the lines of older journals, which carry none, in file
    // order; only those after the last Continuation, the earlier ones being in the file the
    // workbook was continued in.
    std::vector<JournalEntry> entries;
    // Whether entries of that identity are there at all.
    bool hasOwnEntries = false;
    // The Workbook line of another workbook's entries, when the journal holds any.
    std::optional<JournalEntry> other;
    // The file name the workbook's results were continued under, when its last entry says so.
    QString continuedIn;
};

JournalShare ShareOf(const JournalReading& reading, const JournalOwner& workbook);

// What the workbook lacks of a journal.
struct JournalPending {
    // Registrations and take-backs to apply, in journal order: for each bib, the last entry,
    // when the workbook's row does not already hold what it wrote.
    std::vector<JournalEntry> toApply;
    // Bibs of journal entries that no competitor row of the workbook carries, in order of
    // first appearance: the journal belongs to another competition.
    std::vector<int> unknownBibs;
};

// Compares the registrations and take-backs of `entries` with the competitor rows 2..
// competitorCount + 1 of the input sheet.
JournalPending PendingEntries(const std::vector<JournalEntry>& entries, const sheet::Worksheet& ws,
                              int competitorCount);

// The question asked on loading when the workbook lacks the journaled changes `entries`; it
// names the date and time span they were made in.
QString RecoveryQuestion(const std::vector<JournalEntry>& entries, const QString& journalFileName);
// The report of a journal of another competition.
QString OtherCompetitionMessage(const std::vector<int>& bibs, const QString& journalFileName);
// The report of a journal whose lines name another workbook (`other` is its Workbook line).
QString OtherWorkbookMessage(const JournalEntry& other, const QString& journalFileName);
// What loading a workbook whose results were continued under `newFileName` says.
QString ContinuedElsewhereQuestion(const QString& newFileName);

}  // namespace zalvik::store
