#include "timing/TimingBoard.h"

namespace zalvik::timing {

TimingBoard::TimingBoard(QObject* parent) : QObject(parent) {}
void TimingBoard::attach(const QString&, Device device) { device_ = device; }
void TimingBoard::setDevice(Device device) { device_ = device; }
Device TimingBoard::device() const { return device_; }
void TimingBoard::receive(QByteArrayView) {}
bool TimingBoard::assignBib(int, int) { return false; }
const std::vector<ReceivedRun>& TimingBoard::runs() const { return runs_; }
const ReceivedRun* TimingBoard::latestRunOf(int) const { return nullptr; }
int TimingBoard::unreadableLines() const { return unreadable_; }
QString TimingBoard::logPath() const { return logPath_; }
QString TimingBoard::logProblem() const { return logProblem_; }
bool TimingBoard::handleLine(const QByteArray&, const QDateTime&, bool) { return false; }
bool TimingBoard::writeLog(const QByteArray&) { return false; }
void TimingBoard::reset() {}
QString TimingLogPath(const QString& workbookPath) { return workbookPath; }

}  // namespace zalvik::timing
