#include "race/TimingSetupDialog.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>

#include "app/Numbers.h"
#include "app/Screens.h"
#include "timing/TimingBoard.h"
#include "ui/Controls.h"
#include "ui/Dialogs.h"
#include "ui/Twips.h"

namespace zalvik {

namespace {

using timing::LinkSettings;

// The order of the choices in 計時方式 and 計時機種.
const LinkSettings::Method kMethods[] = {LinkSettings::Method::None, LinkSettings::Method::Serial,
                                         LinkSettings::Method::Tcp};
const timing::Device kDevices[] = {timing::Device::Alge, timing::Device::TagHeuer,
                                   timing::Device::Generic};

// Where the choice is kept: the user's own settings of this program, not the workbook, since
// the cable belongs to this computer.
QSettings Store() {
    return QSettings(QStringLiteral("zalvik-race"), QStringLiteral("zalvik-race"));
}

template <typename E, size_t N>
int IndexOf(const E (&choices)[N], E value) {
    for (size_t i = 0; i < N; ++i)
        if (choices[i] == value) return static_cast<int>(i);
    return 0;
}

// The bound of a plausible run, in minutes, that 計時上限 offers.
constexpr std::pair<int, int> kLongestRunMinutes{1, 999};

// "host:port" with a port of 1..65535 (a host in brackets for an IPv6 address).
bool IsAddress(const QString& text) {
    const qsizetype colon = text.lastIndexOf(QLatin1Char(':'));
    if (colon <= 0) return false;
    bool ok = false;
    const int port = text.mid(colon + 1).toInt(&ok);
    return ok && port >= 1 && port <= 65535 && !text.left(colon).trimmed().isEmpty();
}

}  // namespace

LinkSettings RememberedLinkSettings() {
    QSettings s = Store();
    LinkSettings link;
    const int method = s.value(QStringLiteral("timing/method"), 0).toInt();
    const int device = s.value(QStringLiteral("timing/device"), 0).toInt();
    // A value out of range (a file edited by hand) falls back to the first choice.
    link.method = kMethods[method >= 0 && method < 3 ? method : 0];
    link.device = kDevices[device >= 0 && device < 3 ? device : 0];
    link.port = s.value(QStringLiteral("timing/port")).toString();
    link.baud = s.value(QStringLiteral("timing/baud"), 9600).toInt();
    if (link.baud <= 0) link.baud = 9600;
    link.address = s.value(QStringLiteral("timing/address")).toString();
    const int longest = s.value(QStringLiteral("timing/longestRun"), 30).toInt();
    if (longest >= kLongestRunMinutes.first && longest <= kLongestRunMinutes.second)
        link.longestRunMinutes = longest;
    return link;
}

void RememberLinkSettings(const LinkSettings& link) {
    QSettings s = Store();
    s.setValue(QStringLiteral("timing/method"), IndexOf(kMethods, link.method));
    s.setValue(QStringLiteral("timing/device"), IndexOf(kDevices, link.device));
    s.setValue(QStringLiteral("timing/port"), link.port);
    s.setValue(QStringLiteral("timing/baud"), link.baud);
    s.setValue(QStringLiteral("timing/address"), link.address);
    s.setValue(QStringLiteral("timing/longestRun"), link.longestRunMinutes);
    s.sync();
}

const QList<int>& OfferedBaudRates() {
    static const QList<int> rates = {9600, 19200, 38400, 57600, 115200, 4800, 2400, 1200};
    return rates;
}

TimingSetupDialog::TimingSetupDialog(Program& program, QWidget* parent)
    : QDialog(parent), program_(program) {
    setObjectName(QStringLiteral("計時設定画面"));
    setWindowTitle(QStringLiteral("計時の接続"));
    ui::SetClientSize(this, 6300, 4440);

    const int labelLeft = 180, fieldLeft = 1380, fieldWidth = 4620, rowHeight = 360;
    auto row = [&](int i) { return 180 + 480 * i; };
    const char* const captions[] = {"方式", "機種", "ポート", "速度", "アドレス", "上限"};
    for (int i = 0; i < 6; ++i)
        ui::MakeLabel(this, QStringLiteral("計時ラベル%1").arg(i + 1),
                      QString::fromUtf8(captions[i]), {labelLeft, row(i) + 45, 1150, rowHeight});

    計時方式_ = new QComboBox(this);
    計時方式_->setObjectName(QStringLiteral("計時方式"));
    計時方式_->addItems(
        {QStringLiteral("なし"), QStringLiteral("シリアル"), QStringLiteral("TCP")});
    ui::Place(計時方式_, fieldLeft, row(0), 2000, rowHeight);

    計時機種_ = new QComboBox(this);
    計時機種_->setObjectName(QStringLiteral("計時機種"));
    for (timing::Device d : kDevices) 計時機種_->addItem(timing::DeviceName(d));
    ui::Place(計時機種_, fieldLeft, row(1), 2000, rowHeight);

    // Any path may be typed: a port the system does not list (a pseudo-terminal, a link made
    // by a udev rule) is still a port.
    計時ポート_ = ui::MakeComboBox(this, QStringLiteral("計時ポート"),
                                   {fieldLeft, row(2), fieldWidth, rowHeight});
    計時ポート_->setInsertPolicy(QComboBox::NoInsert);

    計時速度_ = new QComboBox(this);
    計時速度_->setObjectName(QStringLiteral("計時速度"));
    for (int rate : OfferedBaudRates()) 計時速度_->addItem(QString::number(rate));
    ui::Place(計時速度_, fieldLeft, row(3), 2000, rowHeight);

    計時アドレス_ = ui::MakeTextBox(this, QStringLiteral("計時アドレス"),
                                    {fieldLeft, row(4), fieldWidth, rowHeight});
    計時アドレス_->setPlaceholderText(QStringLiteral("192.168.0.10:7000"));

    // Runs of 0 or longer than this are listed as 要確認 and never put into the time boxes.
    計時上限_ = new QSpinBox(this);
    計時上限_->setObjectName(QStringLiteral("計時上限"));
    計時上限_->setRange(kLongestRunMinutes.first, kLongestRunMinutes.second);
    計時上限_->setSuffix(QStringLiteral(" 分まで"));
    計時上限_->setToolTip(
        QStringLiteral("これより長い走行時間と 0 秒は「要確認」として一覧に出します"));
    ui::Place(計時上限_, fieldLeft, row(5), 2000, rowHeight);

    計時接続ボタン_ = ui::MakeButton(this, QStringLiteral("計時接続ボタン"), QStringLiteral("接続"),
                                     {fieldLeft, row(6), 1500, 450});
    auto* close = ui::MakeButton(this, QStringLiteral("計時閉じるボタン"), QStringLiteral("閉じる"),
                                 {4500, row(6), 1500, 450});

    計時状態_ =
        ui::MakeLabel(this, QStringLiteral("計時状態"), {}, {labelLeft, row(7) + 60, 5820, 960});
    計時状態_->setWordWrap(true);
    計時状態_->setFrameShape(QFrame::StyledPanel);

    showSettings(RememberedLinkSettings());
    enableFieldsOfMethod();
    showStatus();

    connect(計時方式_, &QComboBox::currentIndexChanged, this, [this] { enableFieldsOfMethod(); });
    // The bound holds at once, connected or not, and is kept with the other choices.
    connect(計時上限_, &QSpinBox::valueChanged, this, [this](int minutes) {
        LinkSettings s = RememberedLinkSettings();
        s.longestRunMinutes = minutes;
        RememberLinkSettings(s);
        program_.timingBoard().setLongestRun(minutes * 6000);
    });
    connect(計時接続ボタン_, &QPushButton::clicked, this, [this] { onConnectClicked(); });
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    connect(&program_.timingLink(), &timing::TimingLink::stateChanged, this,
            [this] { showStatus(); });
    // Lines that could not be read change the count without changing the list.
    connect(&program_.timingLink(), &timing::TimingLink::bytesReceived, this,
            [this] { showStatus(); });
    connect(&program_.timingBoard(), &timing::TimingBoard::runsChanged, this,
            [this] { showStatus(); });
}

void TimingSetupDialog::showSettings(const LinkSettings& s) {
    計時方式_->setCurrentIndex(IndexOf(kMethods, s.method));
    計時機種_->setCurrentIndex(IndexOf(kDevices, s.device));
    計時ポート_->clear();
    計時ポート_->addItems(timing::TimingLink::serialPorts());
    計時ポート_->setCurrentText(s.port);
    const int rate = 計時速度_->findText(QString::number(s.baud));
    計時速度_->setCurrentIndex(rate >= 0 ? rate : 0);
    計時アドレス_->setText(s.address);
    計時上限_->setValue(s.longestRunMinutes);
}

void TimingSetupDialog::enableFieldsOfMethod() {
    const LinkSettings::Method m = kMethods[std::max(0, 計時方式_->currentIndex())];
    計時ポート_->setEnabled(m == LinkSettings::Method::Serial);
    計時速度_->setEnabled(m == LinkSettings::Method::Serial);
    計時アドレス_->setEnabled(m == LinkSettings::Method::Tcp);
}

void TimingSetupDialog::onConnectClicked() {
    LinkSettings s;
    s.method = kMethods[std::max(0, 計時方式_->currentIndex())];
    s.device = kDevices[std::max(0, 計時機種_->currentIndex())];
    s.port = 計時ポート_->currentText().trimmed();
    s.baud = 計時速度_->currentText().toInt();
    s.address = FoldFullWidth(計時アドレス_->text()).trimmed();
    s.longestRunMinutes = 計時上限_->value();
    if (s.method == LinkSettings::Method::Serial && s.port.isEmpty()) {
        ui::ShowMessage(this, QStringLiteral("計時器をつないだポートを選ぶか入力してください"
                                             "（例: /dev/ttyUSB0）。"));
        計時ポート_->setFocus();
        return;
    }
    if (s.method == LinkSettings::Method::Tcp && !IsAddress(s.address)) {
        ui::ShowMessage(this, QStringLiteral("アドレスは「ホスト名:ポート番号」の形で入力して"
                                             "ください（例: 192.168.0.10:7000）。"));
        計時アドレス_->setFocus();
        return;
    }
    program_.connectTimer(s);
    showStatus();
}

QString TimingSetupDialog::StatusText(Program& program) {
    QStringList lines{program.timingLink().statusText()};
    if (const int unreadable = program.timingBoard().unreadableLines(); unreadable > 0)
        lines << QStringLiteral("読めない行: %1").arg(unreadable);
    if (const QString problem = program.timingBoard().logProblem(); !problem.isEmpty())
        lines << problem;
    return lines.join(QLatin1Char('\n'));
}

void TimingSetupDialog::showStatus() { 計時状態_->setText(StatusText(program_)); }

}  // namespace zalvik
