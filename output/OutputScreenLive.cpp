// The frame "速報" of the output settings screen: a check box that publishes the live results
// page on the venue's network, and the address a phone on that network types to reach it. The
// server belongs to the program, so it keeps running when this screen is discarded, and a
// screen created afresh shows it as it is.

#include <QAction>
#include <QCheckBox>
#include <QClipboard>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QPainter>

#include "app/Screens.h"
#include "output/LiveServer.h"
#include "output/OutputScreen.h"
#include "ui/Controls.h"
#include "ui/Dialogs.h"
#include "ui/Twips.h"

namespace zalvik {

namespace {

// The address of the live page. Its text is the address exactly, for whoever copies it (a
// click on it, then Ctrl+C, or its context menu). The frame is as narrow as "出力先選択" above
// it, so an address wider than the label is drawn on several lines, broken after "http://"
// and before the port, and anywhere only where one of those parts alone is still too wide;
// no character is added to the text for that.
class AddressLabel : public QLabel {
  public:
    AddressLabel(QWidget* parent) : QLabel(parent) {
        setFocusPolicy(Qt::ClickFocus);
        auto* copy = new QAction(QStringLiteral("URLをコピー"), this);
        copy->setShortcut(QKeySequence::Copy);
        copy->setShortcutContext(Qt::WidgetShortcut);
        connect(copy, &QAction::triggered, this, [this] {
            if (!text().isEmpty()) QGuiApplication::clipboard()->setText(text());
        });
        addAction(copy);
        setContextMenuPolicy(Qt::ActionsContextMenu);
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setPen(palette().color(foregroundRole()));
        const QRect area = contentsRect();
        const QFontMetrics metrics(font());
        int y = area.top();
        for (const QString& line : lines(metrics, area.width())) {
            painter.drawText(QRect(area.left(), y, area.width(), metrics.height()),
                             Qt::AlignLeft | Qt::AlignTop, line);
            y += metrics.lineSpacing();
        }
    }

  private:
    QStringList lines(const QFontMetrics& metrics, int width) const {
        const QString address = text();
        QStringList parts;
        const int host = address.indexOf(QLatin1String("//"));
        const int port = address.lastIndexOf(u':');
        int from = 0;
        for (int at : {host < 0 ? -1 : host + 2, port > host + 2 ? port : -1}) {
            if (at <= from) continue;
            parts << address.mid(from, at - from);
            from = at;
        }
        parts << address.mid(from);
        QStringList out;
        QString line;
        for (const QString& part : parts) {
            if (line.isEmpty() || metrics.horizontalAdvance(line + part) <= width) {
                line += part;
                continue;
            }
            out << line;
            line = part;
        }
        out << line;
        // A line still too wide breaks before the first character that would not fit.
        QStringList fitted;
        for (QString rest : out) {
            while (rest.size() > 1 && metrics.horizontalAdvance(rest) > width) {
                int n = rest.size() - 1;
                while (n > 1 && metrics.horizontalAdvance(rest.left(n)) > width) --n;
                fitted << rest.left(n);
                rest = rest.mid(n);
            }
            fitted << rest;
        }
        return fitted;
    }
};

}  // namespace

void OutputScreen::createLiveFrame() {
    Frame17_ = ui::MakeFrame(Frame14_, QStringLiteral("Frame17"), QStringLiteral("速報"),
                             {2370, 1665, 1335, 2235});
    速報公開_ = new QCheckBox(QStringLiteral("LANに公開"), Frame17_);
    速報公開_->setObjectName(QStringLiteral("速報公開"));
    ui::Place(速報公開_, 165, 285, 1080, 315);
    速報URL_ = new AddressLabel(Frame17_);
    速報URL_->setObjectName(QStringLiteral("速報URL"));
    ui::Place(速報URL_, 165, 690, 1110, 1380);

    速報公開_->setChecked(program_.liveServer().isRunning());
    showLiveAddress();
    connect(速報公開_, &QCheckBox::clicked, this, [this](bool on) { onPublishClicked(on); });
}

void OutputScreen::onPublishClicked(bool publish) {
    LiveServer& server = program_.liveServer();
    if (!publish) {
        server.stop();
    } else {
        if (program_.startPublishing() == 0) {
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
    速報URL_->setText(server.isRunning() ? LiveUrl(LanAddress(), server.port()) : QString());
}

}  // namespace zalvik
