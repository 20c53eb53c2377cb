// The frame "速報" of the output settings screen: a check box that publishes the live results
// page on the venue's network, and the address a phone on that network types to reach it. The
// server belongs to the program, so it keeps running when this screen is discarded, and a
// screen created afresh shows it as it is.

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>

#include "app/Screens.h"
#include "output/LiveServer.h"
#include "output/OutputScreen.h"
#include "ui/Controls.h"
#include "ui/Dialogs.h"
#include "ui/Twips.h"

namespace zalvik {

namespace {

// The frame is as narrow as "出力先選択" above it; the address may wrap after "http://" and
// before the port, and only there.
QString WrappableUrl(const QString& url) {
    const QChar breakHere(0x200B);  // zero-width space
    QString text = url;
    text.insert(text.lastIndexOf(u':'), breakHere);
    text.insert(text.indexOf(QLatin1String("//")) + 2, breakHere);
    return text;
}

}  // namespace

void OutputScreen::createLiveFrame() {
    Frame17_ = ui::MakeFrame(Frame14_, QStringLiteral("Frame17"), QStringLiteral("速報"),
                             {2370, 1665, 1335, 2235});
    速報公開_ = new QCheckBox(QStringLiteral("LANに公開"), Frame17_);
    速報公開_->setObjectName(QStringLiteral("速報公開"));
    ui::Place(速報公開_, 165, 285, 1080, 315);
    速報URL_ =
        ui::MakeLabel(Frame17_, QStringLiteral("速報URL"), QString(), {165, 690, 1110, 1380});
    速報URL_->setWordWrap(true);
    速報URL_->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    速報公開_->setChecked(program_.liveServer().isRunning());
    showLiveAddress();
    connect(速報公開_, &QCheckBox::clicked, this, [this](bool on) { onPublishClicked(on); });
}

void OutputScreen::onPublishClicked(bool publish) {
    LiveServer& server = program_.liveServer();
    if (!publish) {
        server.stop();
    } else {
        // The page is brought up to date first, so that the first visitor gets today's data.
        program_.resultsChanged();
        program_.waitForLiveServed();
        if (server.start() == 0) {
            速報公開_->setChecked(false);
            ui::ShowMessage(this, QStringLiteral("ポート%1から%2までがすべて使われているため、"
                                                 "速報を公開できませんでした。")
                                      .arg(LiveServer::kFirstPort)
                                      .arg(LiveServer::kFirstPort + LiveServer::kPortsTried - 1));
        }
    }
    showLiveAddress();
}

void OutputScreen::showLiveAddress() {
    const LiveServer& server = program_.liveServer();
    速報URL_->setText(server.isRunning() ? WrappableUrl(LiveUrl(LanAddress(), server.port()))
                                         : QString());
}

}  // namespace zalvik
