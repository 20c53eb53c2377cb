#pragma once
// The program: owner of the competition data, of the open workbook and of the five single
// screen instances. Screens are created on first use; the data-load, settings and
// output-settings screens are discarded by their back buttons and created afresh next time.

#include <QObject>
#include <QPointer>
#include <memory>
#include <optional>

#include "app/Competition.h"
#include "store/Journal.h"

class QWidget;

namespace sheet {
class Workbook;
struct SaveResult;
}  // namespace sheet

namespace zalvik {

class StartScreen;
class DataLoadScreen;
class ProcessingScreen;
class SettingsScreen;
class OutputScreen;
class LiveServer;
class LivePageWriter;
class LivePageBuilder;
class ResultDesk;
struct SaveOutcome;

namespace judges {
class JudgeBoard;
}

namespace timing {
class TimingBoard;
class TimingLink;
struct LinkSettings;
}  // namespace timing

class Program : public QObject {
    Q_OBJECT
  public:
    Program();
    ~Program() override;

    // The entry procedure: status words, load flag, version label, caption, start screen.
    void start();
    // Ends the program at once: every screen closes, nothing is written or saved.
    void end();
    bool ended() const { return ended_; }

    Competition& data() { return data_; }

    // The workbook opened by the last load; nullptr before any load, after a cancelled or failed
    // open, and once closed. Every reader and writer of the workbook goes through it.
    sheet::Workbook* workbook() const { return workbook_.get(); }
    void setWorkbook(std::unique_ptr<sheet::Workbook> workbook);
    // Lets go of the workbook without saving anything.
    void closeWorkbook();
    // Reads the logs beside the open workbook of what arrived from outside (the timing device's
    // lines), and appends there from now on. A load calls it once the competition is read
    // (its event name and date) and the journal has said which identity the workbook has.
    void attachObservationLogs();
    // Lets go of the workbook as the user leaves it (the processing screen's return button,
    // ending the program). Changes that an earlier save could not write are saved first; when
    // that fails again the workbook is kept with everything in memory, one message (shown over
    // `parent`) says that the results are not yet in the file, and false is returned.
    bool releaseWorkbook(QWidget* parent);

    // The road of every result (registration, take-back, journaled results put back): it
    // journals, stores, writes the workbook, ranks, saves and publishes, and shows nothing.
    ResultDesk& desk() { return *desk_; }

    // Shows over `parent` what a save of the desk came to. When another program has saved the
    // file since it was loaded or last saved, the official is asked first whether to take those
    // changes in: on Yes the file is read again, this workbook's journaled changes that it
    // lacks are made again (where it holds other results than the journal, the official picks
    // which to keep), and everything is saved into the same file; on No the workbook is saved
    // beside it under a new name, and the message says that that file is the one to load next
    // time. A failed save keeps every change in memory for the next save and, when
    // `reportFailure`, says so. True when the changes are in a file on disk.
    bool finishSave(QWidget* parent, const SaveOutcome& outcome, bool reportFailure = true);
    // The save that ends a change made outside the desk (the set action, a results-sheet run,
    // leaving with a change an earlier save could not write), reported as above.
    bool saveWorkbook(QWidget* parent, bool reportFailure = true);

    // Appends one line to the journal beside the open workbook and flushes it to disk; every
    // change to the workbook is journaled this way before it is made. A journal that cannot be
    // written says so once (over `parent`) and never stops the change. Without an open
    // workbook nothing is written.
    void writeJournal(QWidget* parent, const store::JournalEntry& entry);
    // Who a log beside the open workbook belongs to, once the log has been read:
    // `recognised` is the identity it knew a workbook without one by (its event name and
    // date), which such a workbook takes on; otherwise the desk's identifiedOwner().
    store::JournalOwner ownerOfLog(const QString& recognised);

    // Screens, created on first use. Getting a screen changes nothing else: the settings
    // screen's load step, which reads the competition and the workbook, runs when the screen is
    // first shown or when the loader asks for it (SettingsScreen::EnsureLoaded).
    StartScreen& startScreen();
    DataLoadScreen& dataLoadScreen();
    ProcessingScreen& processingScreen();
    SettingsScreen& settingsScreen();
    OutputScreen& outputScreen();

    // Whether a screen exists now (without creating it).
    bool hasDataLoadScreen() const;
    bool hasProcessingScreen() const;
    bool hasSettingsScreen() const;
    bool hasOutputScreen() const;

    // Discards a screen; the next use creates it afresh.
    void unloadDataLoadScreen();
    void unloadSettingsScreen();
    void unloadOutputScreen();

    // Set while a load reads a workbook: screens created during a load leave the reporting of
    // read faults to the loader.
    bool loadInProgress() const { return loadInProgress_; }
    void setLoadInProgress(bool on) { loadInProgress_ = on; }

    // The screens currently shown (exactly one outside of hand-overs and message boxes).
    QList<QWidget*> shownScreens() const;

    // What the standings show has changed (a load, a registration, a result taken back, the
    // set action, a results-sheet run): the live results page beside the workbook is written
    // again and the served copy replaced. Each such action calls this once, at its end. The
    // page is built and written in the background from a copy of the data taken here, so the
    // action does not wait for it.
    void resultsChanged();
    // The server of the live results page; it runs only while the official publishes it.
    LiveServer& liveServer();
    // Starts publishing the live page (and the judges' page) on the venue's network, with the
    // page brought up to date first; the port, or 0 when every port tried is taken.
    quint16 startPublishing();
    // Returns once the live page of the last change is what the server hands out.
    void waitForLiveServed();
    // Returns once the live page of the last change is served and its file is on disk (both
    // happen in the background) and a failure to write it has been reported.
    void waitForLivePage();
    // Why the last write of the live page failed; empty while the page is written. A failure of
    // this background write never opens a message box (it would take the next key of the
    // official's entry or stand over a question): the screens show it as a note instead.
    QString livePageNote() const { return livePageNote_; }

    // The run times received from the timing device for the open workbook (their log lies
    // beside it), and the connection they arrive through.
    timing::TimingBoard& timingBoard() { return *timingBoard_; }
    timing::TimingLink& timingLink() { return *timingLink_; }
    // Connects the timing device as `settings` say (Method::None disconnects) and remembers the
    // choice on this computer, so that it comes back by itself next time.
    void connectTimer(const timing::LinkSettings& settings);

    // The gate judges of the open workbook: their roster, their entries and the phones' logins.
    // It follows the workbook at the end of each load (resultsChanged()).
    judges::JudgeBoard& judgeBoard() { return *judgeBoard_; }

  signals:
    void livePageNoteChanged(const QString& note);

  private:
    // The five screens that exist now, in the order start, data-load, processing, settings,
    // output.
    QList<QWidget*> existingScreens() const;

    // Reads the changed file again and puts this session's changes into it (see finishSave).
    // nullopt when nothing was taken in (the file cannot be read again, or not as a
    // competition): the program then holds its own workbook as before.
    std::optional<bool> takeInOtherProgramsChanges(QWidget* parent, bool reportFailure);
    // Shows exactly the screens of `shown`, after a reread brought the processing screen up.
    void showOnly(const QList<QWidget*>& shown);

    Competition data_;
    std::unique_ptr<sheet::Workbook> workbook_;
    std::unique_ptr<ResultDesk> desk_;
    bool ended_ = false;
    bool loadInProgress_ = false;
    QPointer<StartScreen> start_;
    QPointer<DataLoadScreen> dataLoad_;
    QPointer<ProcessingScreen> processing_;
    QPointer<SettingsScreen> settings_;
    QPointer<OutputScreen> output_;
    std::unique_ptr<LiveServer> live_;
    std::unique_ptr<LivePageWriter> pageWriter_;
    std::unique_ptr<LivePageBuilder> pageBuilder_;  // hands its pages to live_ and pageWriter_
    // The outcome of a page write, in the program's own thread.
    void livePageWritten(bool ok, const QString& why);
    QString livePageNote_;

    // The timing device's runs go with the workbook the official works in: attached at a load,
    // carried over from `carryFrom` (the file a save had to leave, else empty) to the file it
    // used instead. A remembered connection that is not running yet is started. The identity
    // the log recognised the workbook by, if it was read.
    QString keepTimingWithWorkbook(const QString& carryFrom);
    QString timingWorkbook_;  // the workbook the board is attached to
    std::unique_ptr<timing::TimingBoard> timingBoard_;
    std::unique_ptr<timing::TimingLink> timingLink_;

    // The judges go with the workbook as the timing device's runs do.
    QString keepJudgesWithWorkbook(const QString& carryFrom);
    // Both logs beside the workbook (the device's runs, the judges' entries), and the identity
    // their records are written for.
    void keepLogsWithWorkbook(const QString& carryFrom = {});
    QString judgesWorkbook_;
    std::unique_ptr<judges::JudgeBoard> judgeBoard_;
};

// The report of a save that went under a new name because another program had changed the
// file: names the new file and says that it is the one to load next time.
QString SavedUnderNewNameMessage(const sheet::SaveResult& saved);

// Gives the application the Japanese font the screens were laid out for: Noto Sans CJK JP when
// it is installed, otherwise another Japanese font, otherwise the platform's default family;
// always at the size the screens' twips layout fits.
void SetUpScreenFont();

// Makes Qt's own dialogs and buttons (the file dialog, the print preview, standard buttons)
// speak the desktop's language, from Qt's translations where they are installed
// (qt6-translations-l10n on Debian). The language is the default locale's, which is the
// desktop's unless QLocale::setDefault() chose another. Calling it again changes nothing.
void InstallQtTranslations();

}  // namespace zalvik
