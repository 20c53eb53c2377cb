#include "app/StartScreen.h"

#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPushButton>
#include <QRadialGradient>

#include "app/DataLoadScreen.h"
#include "app/Screens.h"
#include "ui/Controls.h"
#include "ui/Twips.h"

namespace zalvik {

StartScreen::StartScreen(Program& program) : ScreenBase(program, QStringLiteral("スタート画面")) {
    ui::SetClientSize(this, 2868, 2616);

    Image2 = ui::MakeLabel(this, QStringLiteral("Image2"), QString(), {0, 0, 1824, 2424});
    Image2->setPixmap(DrawStartPicture(Image2->size()));

    Label1 = ui::MakeLabel(this, QStringLiteral("Label1"), QStringLiteral("  Ver 0.91"),
                           {1860, 156, 840, 252});

    読込 = ui::MakeButton(this, QStringLiteral("読込"), QStringLiteral("開　　始"),
                          {1896, 984, 780, 768});
    終了ボタン = ui::MakeButton(this, QStringLiteral("終了ボタン"), QStringLiteral("終　了"),
                                {1896, 1980, 780, 420});

    // Designed below the bottom edge of the client area: the label exists and carries the
    // version set at start-up, but the window does not show it.
    バージョン =
        ui::MakeLabel(this, QStringLiteral("バージョン"), QString(), {180, 2685, 765, 345});

    connect(読込, &QPushButton::clicked, this, [this] {
        program_.dataLoadScreen().show();
        hide();
    });
    connect(終了ボタン, &QPushButton::clicked, this, [this] { program_.end(); });
}

// Closing the start screen's window ends the program, as its exit button does: this is the
// one screen from which the program may end.
void StartScreen::closeBox() { program_.end(); }

void StartScreen::setVersionLabel(const QString& text) { バージョン->setText(text); }

namespace {

// One buoy of the course: a ball with a highlight, sitting on the snow with a short shadow.
void DrawBuoy(QPainter& p, QPointF at, double radius, const QColor& colour) {
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(120, 140, 170, 90));
    p.drawEllipse(QPointF(at.x() + radius * 0.5, at.y() + radius * 0.9), radius * 1.1,
                  radius * 0.35);
    QRadialGradient ball(at.x() - radius * 0.35, at.y() - radius * 0.35, radius * 1.4);
    ball.setColorAt(0.0, colour.lighter(170));
    ball.setColorAt(0.45, colour);
    ball.setColorAt(1.0, colour.darker(160));
    p.setBrush(ball);
    p.drawEllipse(at, radius, radius);
}

}  // namespace

QPixmap DrawStartPicture(const QSize& size) {
    QPixmap pixmap(size.isEmpty() ? QSize(1, 1) : size);
    const double w = pixmap.width();
    const double h = pixmap.height();
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);

    // Winter sky.
    QLinearGradient sky(0, 0, 0, h * 0.45);
    sky.setColorAt(0.0, QColor(40, 92, 170));
    sky.setColorAt(1.0, QColor(170, 205, 240));
    p.fillRect(pixmap.rect(), sky);

    // Sun.
    QRadialGradient sun(w * 0.78, h * 0.12, w * 0.16);
    sun.setColorAt(0.0, QColor(255, 250, 215));
    sun.setColorAt(0.4, QColor(255, 240, 170, 200));
    sun.setColorAt(1.0, QColor(255, 240, 170, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(sun);
    p.drawEllipse(QPointF(w * 0.78, h * 0.12), w * 0.16, w * 0.16);

    // Far mountains with snowy tops.
    QPainterPath far;
    far.moveTo(0, h * 0.36);
    far.lineTo(w * 0.18, h * 0.20);
    far.lineTo(w * 0.34, h * 0.30);
    far.lineTo(w * 0.55, h * 0.14);
    far.lineTo(w * 0.80, h * 0.31);
    far.lineTo(w, h * 0.24);
    far.lineTo(w, h * 0.45);
    far.lineTo(0, h * 0.45);
    far.closeSubpath();
    p.setBrush(QColor(96, 118, 160));
    p.drawPath(far);
    QPainterPath caps;
    caps.moveTo(w * 0.55, h * 0.14);
    caps.lineTo(w * 0.63, h * 0.195);
    caps.lineTo(w * 0.58, h * 0.185);
    caps.lineTo(w * 0.55, h * 0.205);
    caps.lineTo(w * 0.51, h * 0.18);
    caps.lineTo(w * 0.47, h * 0.19);
    caps.closeSubpath();
    caps.moveTo(w * 0.18, h * 0.20);
    caps.lineTo(w * 0.25, h * 0.245);
    caps.lineTo(w * 0.19, h * 0.235);
    caps.lineTo(w * 0.13, h * 0.25);
    caps.closeSubpath();
    p.setBrush(QColor(245, 248, 255));
    p.drawPath(caps);

    // Dark forest along the foot of the slope.
    p.setBrush(QColor(38, 82, 62));
    for (int i = 0; i < 9; ++i) {
        const double x = w * (0.02 + i * 0.12);
        const double base = h * (0.45 - 0.01 * (i % 3));
        QPolygonF tree;
        tree << QPointF(x, base - h * 0.09) << QPointF(x + w * 0.06, base)
             << QPointF(x - w * 0.06, base);
        p.drawPolygon(tree);
    }

    // The slope: it falls from the upper right to the lower left.
    QPainterPath slope;
    slope.moveTo(0, h * 0.52);
    slope.cubicTo(w * 0.4, h * 0.40, w * 0.7, h * 0.38, w, h * 0.40);
    slope.lineTo(w, h);
    slope.lineTo(0, h);
    slope.closeSubpath();
    QLinearGradient snow(0, h * 0.4, w * 0.3, h);
    snow.setColorAt(0.0, QColor(255, 255, 255));
    snow.setColorAt(1.0, QColor(206, 222, 240));
    p.setBrush(snow);
    p.drawPath(slope);

    // Ski tracks winding down the course between the buoys.
    const QPointF course[] = {{w * 0.82, h * 0.44},
                              {w * 0.38, h * 0.55},
                              {w * 0.72, h * 0.67},
                              {w * 0.26, h * 0.79},
                              {w * 0.62, h * 0.93}};
    QPainterPath track;
    track.moveTo(course[0]);
    for (size_t i = 1; i < std::size(course); ++i) {
        const QPointF a = course[i - 1];
        const QPointF b = course[i];
        track.cubicTo(QPointF(a.x(), (a.y() + b.y()) / 2), QPointF(b.x(), (a.y() + b.y()) / 2), b);
    }
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(160, 180, 210), std::max(1.0, w * 0.012)));
    p.drawPath(track);
    p.setPen(QPen(QColor(185, 200, 225), std::max(1.0, w * 0.008)));
    p.drawPath(track.translated(w * 0.025, 0));

    // The buoys, alternating red and blue, larger as the course comes nearer.
    const QColor colours[] = {QColor(220, 40, 40), QColor(30, 80, 200)};
    for (size_t i = 0; i < std::size(course); ++i) {
        const double r = w * (0.028 + 0.012 * i);
        const double side = (i % 2 == 0) ? -1.0 : 1.0;
        DrawBuoy(p, QPointF(course[i].x() + side * r * 1.8, course[i].y() - r * 0.2), r,
                 colours[i % 2]);
    }

    // A skier carving the turn between the second and third buoy.
    const QPointF skier(w * 0.52, h * 0.60);
    const double s = w * 0.11;
    p.setPen(QPen(QColor(30, 30, 40), std::max(1.0, s * 0.08), Qt::SolidLine, Qt::RoundCap));
    p.drawLine(skier + QPointF(-s * 0.55, s * 0.62), skier + QPointF(s * 0.45, s * 0.38));  // skis
    p.setPen(QPen(QColor(230, 120, 20), std::max(1.5, s * 0.16), Qt::SolidLine, Qt::RoundCap));
    p.drawLine(skier + QPointF(0, -s * 0.25), skier + QPointF(-s * 0.1, s * 0.15));  // body
    p.setPen(QPen(QColor(40, 40, 90), std::max(1.5, s * 0.13), Qt::SolidLine, Qt::RoundCap));
    p.drawLine(skier + QPointF(-s * 0.1, s * 0.15), skier + QPointF(s * 0.08, s * 0.48));  // legs
    p.setPen(QPen(QColor(60, 60, 60), std::max(1.0, s * 0.05), Qt::SolidLine, Qt::RoundCap));
    p.drawLine(skier + QPointF(0, -s * 0.12), skier + QPointF(s * 0.42, s * 0.28));  // pole
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(200, 30, 30));
    p.drawEllipse(skier + QPointF(s * 0.04, -s * 0.38), s * 0.13, s * 0.13);  // head

    // A thin frame so the picture stands apart from the window.
    p.setPen(QPen(QColor(90, 100, 120), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(0.5, 0.5, w - 1, h - 1));
    return pixmap;
}

}  // namespace zalvik
