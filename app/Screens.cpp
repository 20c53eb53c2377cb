#include "app/Screens.h"

#include <QApplication>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QFontDatabase>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <QWidget>

#include "app/DataLoadScreen.h"
#include "app/Installation.h"
#include "app/StartScreen.h"
#include "output/LivePage.h"
#include "output/LivePageBuilder.h"
#include "output/LiveServer.h"
#include "output/OutputScreen.h"
#include "race/JudgeBoard.h"
#include "race/ProcessingScreen.h"
#include "race/ResultDesk.h"
#include "race/TimingSetupDialog.h"
#include "setup/SettingsScreen.h"
#include "sheet/FileWrite.h"
#include "sheet/Workbook.h"
#include "timing/TimingBoard.h"
#include "timing/TimingLink.h"
#include "ui/Dialogs.h"

namespace zalvik {

Program::Program()
    : timingBoard_(std::make_unique<timing::TimingBoard>()),
      timingLink_(std::make_unique<timing::TimingLink>()),
      judgeBoard_(std::make_unique<judges::JudgeBoard>()) {
    desk_ = std::make_unique<ResultDesk>(
        data_, ResultDesk::Links{[this] { return workbook_.get(); }, [this] { resultsChanged(); },
                                 [this](const QString& from) { keepLogsWithWorkbook(from); }});
    // The program ends only through the start screen's exit button (or its close box), never
    // because a hand-over briefly left no window shown.
    if (qApp) qApp->setQuitOnLastWindowClosed(false);
    timing::Wire(*timingLink_, *timingBoard_);
}

Program::~Program() {
    // The last page is built and written before the program goes; no report of it arrives any
    // more.
    pageBuilder_.reset();
    pageWriter_.reset();
    live_.reset();
    timingLink_->stop();
    delete output_.data();
    delete settings_.data();
    delete processing_.data();
    delete dataLoad_.data();
    delete start_.data();
}

void Program::start() {
    data_.statusWord[1] = QStringLiteral("DS");
    data_.statusWord[2] = QStringLiteral("DF");
    data_.statusWord[3] = QStringLiteral("DQ");
    data_.loadAttempted = 0;
    startScreen().setVersionLabel(QStringLiteral("Ver.") + ProgramVersion());
    startScreen().setWindowTitle(QStringLiteral("ザルヴィクレース処理"));
    startScreen().show();
    // The timing device connected last time is connected again, workbook or not: what it sends
    // before a load waits in memory for the workbook's log.
    keepLogsWithWorkbook();
}

void Program::end() {
    // Results that could not be saved yet are never dropped by ending the program.
    QWidget* shown = shownScreens().isEmpty() ? nullptr : shownScreens().first();
    if (!releaseWorkbook(shown)) return;
    ended_ = true;
    for (QWidget* w : existingScreens()) w->hide();
    QCoreApplication::quit();
}

void Program::setWorkbook(std::unique_ptr<sheet::Workbook> workbook) {
    workbook_ = std::move(workbook);
    desk_->startJournal();
}

void Program::attachObservationLogs() {
    // A load reads the logs afresh, also those of the workbook loaded before: another program
    // (or this one, before a crash) may have written to them since.
    timingWorkbook_.clear();
    judgesWorkbook_.clear();
    keepLogsWithWorkbook();
}

void Program::keepLogsWithWorkbook(const QString& carryFrom) {
    // Both logs are read before the workbook's identity is settled: a workbook that has none
    // yet may be known to either log by its event name and date, and an identity made up
    // after reading only the first would leave the other's records foreign.
    const QString byTiming = keepTimingWithWorkbook(carryFrom);
    const QString byJudges = keepJudgesWithWorkbook(carryFrom);
    if (!workbook_) return;
    const store::JournalOwner owner = ownerOfLog(byTiming.isEmpty() ? byJudges : byTiming);
    timingBoard_->setOwner(owner);
    judgeBoard_->setOwner(owner);
}

store::JournalOwner Program::ownerOfLog(const QString& recognised) {
    // A workbook that has no identity yet takes on the one its log knows it by; one that has
    // (stored, taken from its journal, or given at a journaled change) keeps it.
    if (workbook_ && desk_->journalOwner().id.isEmpty()) desk_->adoptJournalIdentity(recognised);
    return desk_->identifiedOwner();
}

QString Program::keepJudgesWithWorkbook(const QString& carryFrom) {
    const QString book = workbook_ ? QString::fromStdString(workbook_->path()) : QString();
    if (book == judgesWorkbook_) return {};
    judgesWorkbook_ = book;
    // A save that had to go under a new name takes the judges and their entries along.
    return judgeBoard_->attach(book, desk_->journalOwner(), book.isEmpty() ? QString() : carryFrom);
}

void Program::connectTimer(const timing::LinkSettings& settings) {
    RememberLinkSettings(settings);
    timingBoard_->setDevice(settings.device);
    timingBoard_->setLongestRun(settings.longestRunMinutes * 6000);
    timingLink_->start(settings);
}

QString Program::keepTimingWithWorkbook(const QString& carryFrom) {
    const QString book = workbook_ ? QString::fromStdString(workbook_->path()) : QString();
    const timing::LinkSettings remembered = RememberedLinkSettings();
    timingBoard_->setLongestRun(remembered.longestRunMinutes * 6000);
    QString recognised;
    if (book != timingWorkbook_) {
        // A save that had to go under a new name takes the runs received so far along: the log
        // is copied beside the new file before the board turns to it, so the list stays as it
        // was and the next line goes on from there. The log is the one of the file the save
        // left, also during a load (results put back from the journal), which attaches the
        // board only at its end.
        if (!carryFrom.isEmpty() && !book.isEmpty()) {
            QFile old(timing::TimingLogPath(carryFrom));
            const QString copy = timing::TimingLogPath(book);
            if (!QFileInfo::exists(copy) && old.open(QIODevice::ReadOnly)) {
                const QByteArray lines = old.readAll();
                sheet::WriteFileSafely(copy.toStdString(),
                                       std::string_view(lines.constData(), lines.size()));
            }
        }
        timingWorkbook_ = book;
        recognised = timingBoard_->attach(book, remembered.device, desk_->journalOwner());
    }
    if (timingLink_->state() == timing::TimingLink::State::Off &&
        remembered.method != timing::LinkSettings::Method::None)
        connectTimer(remembered);
    return recognised;
}

void Program::writeJournal(QWidget* parent, const store::JournalEntry& entry) {
    if (const QString problem = desk_->journal(entry); !problem.isEmpty())
        ui::ShowMessage(parent, problem);
}

void Program::closeWorkbook() {
    workbook_.reset();
    keepLogsWithWorkbook();
}

StartScreen& Program::startScreen() {
    if (!start_) start_ = new StartScreen(*this);
    return *start_;
}

DataLoadScreen& Program::dataLoadScreen() {
    if (!dataLoad_) dataLoad_ = new DataLoadScreen(*this);
    return *dataLoad_;
}

ProcessingScreen& Program::processingScreen() {
    if (!processing_) processing_ = new ProcessingScreen(*this);
    return *processing_;
}

SettingsScreen& Program::settingsScreen() {
    if (!settings_) settings_ = new SettingsScreen(*this);
    return *settings_;
}

OutputScreen& Program::outputScreen() {
    if (!output_) output_ = new OutputScreen(*this);
    return *output_;
}

bool Program::hasDataLoadScreen() const { return !dataLoad_.isNull(); }
bool Program::hasProcessingScreen() const { return !processing_.isNull(); }
bool Program::hasSettingsScreen() const { return !settings_.isNull(); }
bool Program::hasOutputScreen() const { return !output_.isNull(); }

namespace {

// Hides the screen at once and deletes it once the running event handler has returned, since
// the handler may belong to the screen itself.
template <typename S>
void Unload(QPointer<S>& screen) {
    if (!screen) return;
    S* s = screen.data();
    screen = nullptr;
    s->hide();
    s->deleteLater();
}

}  // namespace

void Program::unloadDataLoadScreen() { Unload(dataLoad_); }
void Program::unloadSettingsScreen() { Unload(settings_); }
void Program::unloadOutputScreen() { Unload(output_); }

QList<QWidget*> Program::existingScreens() const {
    QList<QWidget*> screens;
    for (QWidget* w :
         {static_cast<QWidget*>(start_.data()), static_cast<QWidget*>(dataLoad_.data()),
          static_cast<QWidget*>(processing_.data()), static_cast<QWidget*>(settings_.data()),
          static_cast<QWidget*>(output_.data())})
        if (w) screens.append(w);
    return screens;
}

QList<QWidget*> Program::shownScreens() const {
    QList<QWidget*> shown;
    for (QWidget* w : existingScreens())
        if (w->isVisible()) shown.append(w);
    return shown;
}

LiveServer& Program::liveServer() {
    if (!live_) {
        live_ = std::make_unique<LiveServer>();
        live_->setJudgeBoard(judgeBoard_.get());
    }
    return *live_;
}

quint16 Program::startPublishing() {
    resultsChanged();
    waitForLiveServed();
    return liveServer().start();
}

void Program::resultsChanged() {
    // The judges' checks follow the competitors and gates of this moment.
    judgeBoard_->setRace(judges::JudgeRace::Of(data_));
    QString pagePath;
    if (workbook_) {
        const QString book = QString::fromStdString(workbook_->path());
        // The example workbook in the program's own folder is there to be tried, not to race
        // with; that folder is not the user's (installed, it is not even writable), so no page
        // goes there.
        const QString ownFolder = DataFolder();
        if (ownFolder.isEmpty() || QFileInfo(book).canonicalPath() != ownFolder)
            pagePath = LivePagePath(book);
    }
    if (!pageBuilder_) {
        // The builder's thread reaches the server and the writer, so both are made before the
        // first page is queued and go only after the builder has stopped.
        LiveServer* server = &liveServer();
        pageWriter_ = std::make_unique<LivePageWriter>([this](bool ok, const QString& why) {
            QMetaObject::invokeMethod(
                this, [this, ok, why] { livePageWritten(ok, why); }, Qt::QueuedConnection);
        });
        LivePageWriter* writer = pageWriter_.get();
        pageBuilder_ = std::make_unique<LivePageBuilder>(
            [server, writer](const LiveSnapshot& snapshot, const QString& path) {
                server->publish(snapshot);
                if (!path.isEmpty()) writer->write(path, snapshot.html);
            });
    }
    // A copy of the data as it stands now: the page shows this moment even when the next
    // registration comes before it is built.
    pageBuilder_->build(std::make_shared<const Competition>(data_), QDateTime::currentDateTime(),
                        pagePath);
}

void Program::waitForLiveServed() {
    if (pageBuilder_) pageBuilder_->waitUntilBuilt();
}

void Program::waitForLivePage() {
    waitForLiveServed();
    if (pageWriter_) pageWriter_->waitUntilWritten();
    QCoreApplication::sendPostedEvents(this, QEvent::MetaCall);
}

void Program::livePageWritten(bool ok, const QString& why) {
    // The note stays while the page cannot be written and goes with the next good write.
    const QString note = ok ? QString() : why;
    if (note == livePageNote_) return;
    livePageNote_ = note;
    emit livePageNoteChanged(note);
}

namespace {

// The screens' twips layout was drawn for a 9-point Japanese UI font whose kana are narrower
// than Noto's, which sets every kana full width. At 8 points the longest captions (the
// data-load screen's explanation, the start screen's buttons) fit their controls on one line
// as they did in the original layout.
constexpr double kScreenFontPoints = 8;

}  // namespace

void SetUpScreenFont() {
    // Families in order of preference; the first is what the project installs.
    static const char* const kFamilies[] = {"Noto Sans CJK JP", "Source Han Sans JP", "IPAexGothic",
                                            "IPAGothic",        "TakaoGothic",        "VL Gothic"};
    QFont font = QApplication::font();
    const QStringList installed = QFontDatabase::families();
    for (const char* family : kFamilies) {
        if (installed.contains(QString::fromUtf8(family))) {
            font.setFamily(QString::fromUtf8(family));
            break;
        }
    }
    font.setPointSizeF(kScreenFontPoints);
    QApplication::setFont(font);
}

void InstallQtTranslations() {
    static const char* const kCatalogues[] = {"qtbase"};
    if (!qApp || !qApp->findChildren<QTranslator*>(QStringLiteral("Qtの翻訳")).isEmpty()) return;
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    for (const char* catalogue : kCatalogues) {
        auto* translator = new QTranslator(qApp);
        translator->setObjectName(QStringLiteral("Qtの翻訳"));
        // Without a catalogue for the language (or for English, which needs none) Qt's own
        // English texts stay.
        if (translator->load(QLocale(), QString::fromLatin1(catalogue), QStringLiteral("_"),
                             folder))
            QCoreApplication::installTranslator(translator);
        else
            delete translator;
    }
}

}  // namespace zalvik
