#include "race/ProcessingScreen.h"

#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPushButton>
#include <QResizeEvent>
#include <QShowEvent>
#include <algorithm>

#include "app/DataLoadScreen.h"
#include "app/Screens.h"
#include "output/OutputScreen.h"
#include "output/ResultsDelivery.h"
#include "output/ResultsSheetPdf.h"
#include "race/TimingList.h"
#include "setup/SettingsScreen.h"
#include "sheet/Workbook.h"
#include "store/InputSheet.h"
#include "ui/Dialogs.h"
#include "ui/Grid.h"
#include "ui/TabStrip.h"
#include "ui/Twips.h"

namespace zalvik {

namespace {

constexpr int kClientWidth = 14016;
constexpr int kClientHeight = 9324;

// Gate options and their buoy-name labels stand in one column, one gate per 380 twips.
constexpr int kGateTop = 270;
constexpr int kGateStep = 380;
constexpr int kGateOptionLeft = 180;
constexpr int kGateColourLeft = 780;
// Buoy options step 380 twips, their point labels 390: the labels drift down a little, which
// keeps each label level with the text of its option.
constexpr int kBuoyTop = 270;
constexpr int kBuoyStep = 380;
constexpr int kBuoyPointStep = 390;
constexpr int kBuoyOptionLeft = 60;
constexpr int kBuoyPointLeft = 840;
// The sizes of the options and their labels: small enough that neighbours never overlap
// (rows are 380 twips apart) and that the last ones stay inside their frames.
constexpr int kOptionHeight = 300;
// A gate option reaches up to its label, so that a two-digit gate number shows whole beside
// the mark.
constexpr int kGateOptionWidth = kGateColourLeft - kGateOptionLeft;
constexpr int kGateColourWidth = 825;
constexpr int kBuoyOptionWidth = 750;
constexpr int kBuoyPointWidth = 585;

// Each standings grid sits at this place inside its class page.
constexpr ui::Rect kStandingsGridRect{20, 80, 5400, 5900};

// Headers of the results grid's five fixed columns; the gate columns follow.
const char* const kResultHeaders[] = {" ZNo", " 氏　　名", "ﾀｲﾑ", " B.P", "ﾚｰｽﾎﾟｲﾝﾄ"};
constexpr int kResultWidths[] = {500, 1200, 650, 500, 900};
constexpr int kGateColumnWidth = 600;
constexpr int kGridRowHeight = 210;

const char* const kListHeaders[] = {" ZNo", " 氏　　名", " 　所　　属"};
constexpr int kListWidths[] = {600, 1100, 2000};

// The emblem beside the competitor list: a snow slope under a blue sky with a line of
// slalom gates and the buoy colours, drawn here so that the screen carries no image file.
QPixmap DrawEmblem(int width, int height) {
    QPixmap pixmap(width, height);
    pixmap.fill(Qt::white);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const double w = width;
    const double h = height;

    QLinearGradient sky(0, 0, 0, h * 0.7);
    sky.setColorAt(0, QColor(40, 110, 190));
    sky.setColorAt(1, QColor(175, 215, 245));
    p.fillRect(QRectF(0, 0, w, h), sky);

    // Far ridge, then the near slope.
    QPainterPath ridge;
    ridge.moveTo(0, h * 0.55);
    ridge.lineTo(w * 0.22, h * 0.22);
    ridge.lineTo(w * 0.38, h * 0.42);
    ridge.lineTo(w * 0.6, h * 0.12);
    ridge.lineTo(w * 0.85, h * 0.45);
    ridge.lineTo(w, h * 0.35);
    ridge.lineTo(w, h);
    ridge.lineTo(0, h);
    ridge.closeSubpath();
    p.fillPath(ridge, QColor(225, 235, 245));
    QPainterPath slope;
    slope.moveTo(0, h * 0.62);
    slope.cubicTo(w * 0.35, h * 0.45, w * 0.65, h * 0.55, w, h * 0.5);
    slope.lineTo(w, h);
    slope.lineTo(0, h);
    slope.closeSubpath();
    p.fillPath(slope, Qt::white);
    p.setPen(QPen(QColor(190, 205, 220), 1));
    p.drawPath(slope);

    // A winding course with gates in the buoy colours, smaller towards the top.
    const QColor flags[] = {QColor(220, 40, 40), QColor(30, 80, 200), QColor(240, 190, 20),
                            QColor(30, 150, 60), QColor(220, 40, 40)};
    QPainterPath track;
    track.moveTo(w * 0.9, h * 0.55);
    track.cubicTo(w * 0.6, h * 0.6, w * 0.75, h * 0.8, w * 0.45, h * 0.82);
    track.cubicTo(w * 0.2, h * 0.84, w * 0.3, h * 0.95, w * 0.1, h * 0.98);
    p.setPen(QPen(QColor(160, 180, 200), std::max(1.0, w / 150), Qt::DashLine));
    p.drawPath(track);
    for (int i = 0; i < 5; ++i) {
        const QPointF at = track.pointAtPercent(0.1 + 0.2 * i);
        const double size = h * (0.07 + 0.025 * i);
        p.setPen(QPen(QColor(60, 60, 60), std::max(1.0, size / 12)));
        p.drawLine(at, at - QPointF(0, size));
        QPainterPath flag;
        flag.moveTo(at - QPointF(0, size));
        flag.lineTo(at - QPointF(-size * 0.6, size * 0.8));
        flag.lineTo(at - QPointF(0, size * 0.6));
        flag.closeSubpath();
        p.fillPath(flag, flags[i]);
    }

    p.setPen(QPen(QColor(20, 60, 110), 2));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(1, 1, w - 2, h - 2));
    return pixmap;
}

}  // namespace

QString ProcessingScreen::Caption() {
    return QString(23, QChar(0x3000)) + QStringLiteral("ザルヴィクレース処理システム");
}

ProcessingScreen::ProcessingScreen(Program& program)
    : ScreenBase(program, QStringLiteral("処理画面")) {
    setWindowTitle(Caption());
    ui::SetClientSize(this, kClientWidth, kClientHeight);
    // The laid-out size is the smallest; an official may enlarge or maximise the window.
    laidOutSize_ = size();
    setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);

    buildCompetitorFrame();
    buildEntryPanel();
    buildStandingsFrame();
    buildButtons();
    connectEntryHandlers();
    installEntryKeys();
    connectTakeBack();

    auto* image = new QLabel(this);
    image->setObjectName(QStringLiteral("Image2"));
    ui::Place(image, 8460, 330, 3300, 2250);
    image->setPixmap(DrawEmblem(image->width(), image->height()));
    picture_ = image;
    // Over the picture, so that it comes in front of it.
    buildJudgesArea();  // before the timing area, which places its button
    buildTimingArea();

    // A failed write of the live page is a note over the foot of the emblem (a part of it, so
    // that it goes where the emblem goes), not a message box in the middle of the official's
    // entry. It stops short of the timing button, which stays within reach.
    速報状態_ = ui::MakeLabel(image, QStringLiteral("速報状態"), {}, {0, 1500, 2040, 750});
    速報状態_->setWordWrap(true);
    速報状態_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    速報状態_->setAutoFillBackground(true);
    速報状態_->setStyleSheet(
        QStringLiteral("QLabel{background:#fff4c2;color:#5a3a00;border:1px solid #d9b44a}"));
    auto showNote = [this](const QString& note) {
        速報状態_->setText(note);
        速報状態_->setVisible(!note.isEmpty());
        速報状態_->raise();
    };
    showNote(program_.livePageNote());
    connect(&program_, &Program::livePageNoteChanged, this, showNote);
    placeTimingArea();  // the received-times list may already lie over the picture

    // The load step: class tabs and pages, buoy captions, then the gate and buoy columns.
    SetUpClassTabs();
    LayOutClassPages();
    ShowBuoyCaptions();
    for (int k = 1; k <= kGateOptions; ++k) {
        ui::Move(Gop_[k - 1], kGateOptionLeft, kGateTop + kGateStep * (k - 1));
        ui::Move(色_[k - 1], kGateColourLeft, kGateTop + kGateStep * (k - 1));
    }
    for (int k = 1; k <= kBuoyOptions; ++k) {
        ui::Move(ブイ_[k - 1], kBuoyOptionLeft, kBuoyTop + kBuoyStep * (k - 1));
        ui::Move(ブイポイント_[k - 1], kBuoyPointLeft, kBuoyTop + kBuoyPointStep * (k - 1));
    }
}

void ProcessingScreen::buildCompetitorFrame() {
    QGroupBox* frame1 = ui::MakeFrame(this, QStringLiteral("Frame1"), {}, {60, 90, 7800, 2730});
    Frame1_ = frame1;

    QGroupBox* frame2 = ui::MakeFrame(frame1, QStringLiteral("Frame2"), {}, {105, 210, 1170, 1155});
    ui::MakeLabel(frame2, QStringLiteral("Label1"), QStringLiteral("ゼッケン番号"),
                  {60, 180, 1080, 285});
    ゼッケン_ = ui::MakeTextBox(frame2, QStringLiteral("ゼッケン"), {195, 525, 735, 405});

    QGroupBox* frame3 =
        ui::MakeFrame(frame1, QStringLiteral("Frame3"), {}, {1290, 210, 2235, 1155});
    ui::MakeLabel(frame3, QStringLiteral("Label2"), QStringLiteral("氏名"), {120, 180, 1000, 285});
    氏名_ = ui::MakeTextBox(frame3, QStringLiteral("氏名"), {120, 525, 1965, 420});

    QGroupBox* frame4 =
        ui::MakeFrame(frame1, QStringLiteral("Frame4"), {}, {120, 1485, 3405, 1125});
    ui::MakeLabel(frame4, QStringLiteral("Label3"), QStringLiteral("所　属"),
                  {210, 105, 1200, 285});
    所属_ = ui::MakeTextBox(frame4, QStringLiteral("所属"), {210, 420, 3060, 420});

    // The competitor list fills the right-hand part of the frame, beside the three boxes. It
    // appears once the load has built it.
    グリッドリスト_ = new ui::Grid(frame1);
    グリッドリスト_->setObjectName(QStringLiteral("グリッドリスト"));
    ui::Place(グリッドリスト_, 3600, 210, 4110, 2430);
    グリッドリスト_->hide();
    connect(グリッドリスト_, &ui::Grid::cellClicked, this, [this] { onCompetitorListClicked(); });
}

void ProcessingScreen::buildEntryPanel() {
    QGroupBox* frame9 = ui::MakeFrame(this, QStringLiteral("Frame9"), {}, {75, 2820, 7785, 6450});
    Frame9_ = frame9;
    QGroupBox* frame5 = ui::MakeFrame(frame9, QStringLiteral("Frame5"), {}, {75, 150, 3435, 6180});

    QGroupBox* frame6 = ui::MakeFrame(frame5, QStringLiteral("Frame6"), QStringLiteral("タイム"),
                                      {90, 105, 1665, 825});
    分_ = ui::MakeTextBox(frame6, QStringLiteral("分"), {75, 315, 315, 330});
    ui::MakeLabel(frame6, QStringLiteral("Label4"), QStringLiteral("分"), {405, 345, 195, 285});
    秒_ = ui::MakeTextBox(frame6, QStringLiteral("秒"), {600, 315, 735, 330});
    ui::MakeLabel(frame6, QStringLiteral("Label5"), QStringLiteral("秒"), {1365, 345, 240, 285});

    QGroupBox* frame13 =
        ui::MakeFrame(frame5, QStringLiteral("Frame13"), {}, {1800, 105, 1485, 810});
    DSFQ_.create(frame13, QStringLiteral("DSFQ"), kStatusOptions);
    const char* const statusCaptions[] = {"OK", "DS", "DF", "DQ"};
    for (int i = 0; i < kStatusOptions; ++i) {
        DSFQ_[i]->setText(QString::fromUtf8(statusCaptions[i]));
        ui::Place(DSFQ_[i], 105 + 690 * (i % 2), 150 + 300 * (i / 2), 660, kOptionHeight);
    }

    // The gate column: options without caption, each with the name of the buoy chosen there.
    QGroupBox* frame8 = ui::MakeFrame(frame5, QStringLiteral("Frame8"), QStringLiteral("ｹﾞｰﾄ番号"),
                                      {90, 975, 1665, 5115});
    Gop_.create(frame8, QStringLiteral("Gop"), kGateOptions);
    for (int i = 0; i < kGateOptions; ++i) {
        ui::Place(Gop_[i], kGateOptionLeft, kGateTop + kGateStep * i, kGateOptionWidth,
                  kOptionHeight);
        Gop_[i]->setToolTip(QStringLiteral("GNo.%1").arg(i + 1));
        色_[i] = ui::MakeLabel(
            frame8, ui::ElementName(QStringLiteral("色"), i), {},
            {kGateColourLeft, kGateTop + kGateStep * i, kGateColourWidth, kOptionHeight});
        色_[i]->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    }

    // The buoy column: captions are the buoy names, set at run time.
    QGroupBox* frame7 = ui::MakeFrame(frame5, QStringLiteral("Frame7"), QStringLiteral("通過ブイ"),
                                      {1800, 990, 1485, 2250});
    ブイ_.create(frame7, QStringLiteral("ブイ"), kBuoyOptions);
    for (int i = 0; i < kBuoyOptions; ++i) {
        ui::Place(ブイ_[i], kBuoyOptionLeft, kBuoyTop + kBuoyStep * i, kBuoyOptionWidth,
                  kOptionHeight);
        ブイポイント_[i] = ui::MakeLabel(
            frame7, ui::ElementName(QStringLiteral("ブイポイント"), i), {},
            {kBuoyPointLeft, kBuoyTop + kBuoyPointStep * i, kBuoyPointWidth, kOptionHeight});
        ブイポイント_[i]->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    }

    QGroupBox* frame10 = ui::MakeFrame(frame5, QStringLiteral("Frame10"), QStringLiteral("合計ﾌﾞｲ"),
                                       {1785, 3285, 1500, 825});
    合計_ = ui::MakeLabel(frame10, QStringLiteral("合計"), {}, {150, 300, 1200, 420});
    QGroupBox* frame11 = ui::MakeFrame(frame5, QStringLiteral("Frame11"),
                                       QStringLiteral("ﾚｰｽﾎﾟｲﾝﾄ"), {1785, 4125, 1515, 885});
    RP_ = ui::MakeLabel(frame11, QStringLiteral("RP"), {}, {150, 330, 1215, 420});
    // The totals are read from a distance at the finish: a larger figure.
    for (QLabel* figure : {合計_, RP_}) {
        QFont font = figure->font();
        font.setPointSizeF(font.pointSizeF() * 1.4);
        font.setBold(true);
        figure->setFont(font);
        figure->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    }

    登録ボタン_ = ui::MakeButton(frame5, QStringLiteral("登録ボタン"), QStringLiteral("登録ボタン"),
                                 {1860, 5580, 1365, 495});

    // The results grid stands beside the entry panel; it appears once it has been shaped.
    グリッド結果_ = new ui::Grid(frame9);
    グリッド結果_->setObjectName(QStringLiteral("グリッド結果"));
    ui::Place(グリッド結果_, 3585, 210, 4125, 6120);
    グリッド結果_->hide();
}

void ProcessingScreen::buildStandingsFrame() {
    Frame12_ = ui::MakeFrame(this, QStringLiteral("Frame12"), QStringLiteral("現在の順位"),
                             {7905, 2820, 5760, 6450});
    タブ_ = new ui::TabStrip(Frame12_);
    タブ_->setObjectName(QStringLiteral("タブ"));
    ui::Place(タブ_, 60, 210, 5640, 6180);
    // The page of the selected tab comes in front, however the selection moved: a click on a
    // tab, the arrow keys, or the tabs being made anew (which selects tab 1).
    connect(タブ_, &ui::TabStrip::selectedChanged, this,
            [this](int t) { BringPageToFront(t - 1); });

    // The class pages lie over the tab strip (created after it, so they stay in front of it).
    for (int i = 0; i < kClassPages; ++i) {
        auto* page = new QWidget(Frame12_);
        page->setObjectName(ui::ElementName(QStringLiteral("絵"), i));
        page->setAutoFillBackground(true);
        絵_[i] = page;
        auto* grid = new ui::Grid(page);
        grid->setObjectName(ui::ElementName(QStringLiteral("グリッド順位"), i));
        ui::Place(grid, kStandingsGridRect.left, kStandingsGridRect.top, kStandingsGridRect.width,
                  kStandingsGridRect.height);
        グリッド順位_[i] = grid;
    }
    // Tab 1 is the one selected when the tabs are made; its page starts in front.
    絵_[0]->raise();
}

void ProcessingScreen::buildButtons() {
    基本設定ボタン_ = ui::MakeButton(this, QStringLiteral("基本設定ボタン"),
                                     QStringLiteral("基本設定"), {12375, 165, 1250, 580});
    出力ボタン_ = ui::MakeButton(this, QStringLiteral("出力ボタン"), QStringLiteral("出　　力"),
                                 {12390, 825, 1245, 580});
    エクセルボタン_ = ui::MakeButton(this, QStringLiteral("エクセルボタン"),
                                     QStringLiteral("ｴｸｾﾙ表示"), {12390, 1500, 1250, 580});
    終了ボタン_ = ui::MakeButton(this, QStringLiteral("終了ボタン"), QStringLiteral("戻　　　る"),
                                 {12405, 2160, 1250, 580});
    // Nothing to set up, look at or write out before a competition has been loaded.
    for (QPushButton* b : {基本設定ボタン_, 出力ボタン_, エクセルボタン_}) b->setEnabled(false);

    connect(基本設定ボタン_, &QPushButton::clicked, this, [this] {
        // Showing the settings screen runs its load step when it has just been created.
        program_.settingsScreen().show();
        hide();
    });
    connect(出力ボタン_, &QPushButton::clicked, this, [this] {
        program_.outputScreen().show();
        hide();
    });
    connect(エクセルボタン_, &QPushButton::clicked, this, [this] {
        // The workbook is saved after every change, so the file on disk is what the user
        // expects to see. A save that had to go under a new name moved the workbook there.
        QString path = program_.data().workbookPath;
        if (const sheet::Workbook* workbook = program_.workbook())
            path = QString::fromStdString(workbook->path());
        // Without a loaded file there is nothing to show.
        if (!path.isEmpty())
            ShowWorkbookInSpreadsheetProgram(this, path, ResultsPdfPath(path, program_.data()));
    });
    connect(終了ボタン_, &QPushButton::clicked, this, [this] { onReturnClicked(); });
}

void ProcessingScreen::closeBox() { onReturnClicked(); }

bool ProcessingScreen::event(QEvent* e) {
    // Coming back from the settings screen must show changed buoy names at once.
    if (e->type() == QEvent::WindowActivate) ShowBuoyCaptions();
    return ScreenBase::event(e);
}

void ProcessingScreen::showEvent(QShowEvent* e) {
    // A window that is shown without becoming active (as on a headless display) still gets
    // the current buoy names.
    ShowBuoyCaptions();
    ScreenBase::showEvent(e);
}

void ProcessingScreen::resizeEvent(QResizeEvent* e) {
    ScreenBase::resizeEvent(e);
    fitToWindow();
}

void ProcessingScreen::fitToWindow() {
    // The extra width goes half to the left column (competitor list, results grid) and half to
    // the standings; the extra height a third to the competitor list and the rest to the
    // results grid and the standings below it.
    const int dw = std::max(0, width() - laidOutSize_.width());
    const int dh = std::max(0, height() - laidOutSize_.height());
    const int leftWidth = dw / 2, rightWidth = dw - leftWidth;
    const int topHeight = dh / 3, lowerHeight = dh - topHeight;
    // A control is first seen at its laid-out place: the screen places every control in twips
    // for the laid-out size, also one made while the window is larger.
    auto laidOut = [this](QWidget* w) {
        auto at = laidOutGeometry_.find(w);
        if (at == laidOutGeometry_.end()) at = laidOutGeometry_.insert(w, w->geometry());
        return *at;
    };
    auto place = [&laidOut](QWidget* w, int dx, int dy, int growX, int growY) {
        const QRect r = laidOut(w).adjusted(dx, dy, dx + growX, dy + growY);
        if (w->geometry() != r) w->setGeometry(r);
    };
    const int rightColumn = laidOut(Frame1_).right();
    for (QWidget* child : findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        // The timing list, buttons and note, and the live page's note once it stands over the list,
        // follow the picture by themselves (they may be made or moved there while the window is
        // enlarged, so they have no laid-out place of their own).
        if (child->isWindow() || child == 計時一覧_ || child == 計時メモ_ || child == 速報状態_ ||
            child == 計時ボタン_ || child == 計時一覧ボタン_ || child == 審判ボタン_)
            continue;
        if (child == Frame1_)
            place(child, 0, 0, leftWidth, topHeight);
        else if (child == Frame9_)
            place(child, 0, topHeight, leftWidth, lowerHeight);
        else if (child == Frame12_)
            place(child, leftWidth, topHeight, rightWidth, lowerHeight);
        else if (laidOut(child).left() > rightColumn)
            // The picture area and the buttons beside the competitor list stay beside it.
            place(child, leftWidth, 0, 0, 0);
    }
    place(グリッドリスト_, 0, 0, leftWidth, topHeight);
    place(グリッド結果_, 0, 0, leftWidth, lowerHeight);
    place(タブ_, 0, 0, rightWidth, lowerHeight);
    standingsGrowth_ = QSize(rightWidth, lowerHeight);
    LayOutClassPages();
}

void ProcessingScreen::ShowBuoyCaptions() {
    const Competition& d = program_.data();
    for (int k = 1; k <= kBuoyOptions; ++k) ブイ_[k - 1]->setText(d.buoyName[k]);
}

void ProcessingScreen::ShowBuoyTable() {
    ShowBuoyCaptions();
    ShowBuoyPointLabels();
}

void ProcessingScreen::ShowBuoyPointLabels() {
    const Competition& d = program_.data();
    for (int k = 1; k <= kBuoyOptions; ++k)
        ブイポイント_[k - 1]->setText(QStringLiteral("(%1)").arg(d.buoyScore[k]));
}

void ProcessingScreen::ShowGateOptions() {
    const int gates = std::clamp<int>(program_.data().gateCount, 0, kMaxGates);
    for (int g = 1; g <= kGateOptions; ++g) {
        const bool used = g <= gates;
        if (used) Gop_[g - 1]->setText(QStringLiteral(" ") + QString::number(g));
        Gop_[g - 1]->setVisible(used);
        色_[g - 1]->setVisible(used);
    }
}

void ProcessingScreen::ShowResultRow(int slot, const store::ResultRow& row) {
    ui::Grid* g = グリッド結果_;
    if (slot >= g->rows()) return;
    for (int c = 0; c < 5 && c < g->cols(); ++c) g->setText(slot, c, row.cells[c]);
    for (size_t j = 0; j < row.gates.size() && 5 + static_cast<int>(j) < g->cols(); ++j)
        g->setText(slot, 5 + static_cast<int>(j), row.gates[j]);
}

void ProcessingScreen::ShowClassPages() {
    タブ_->show();
    for (int k = 0; k < std::clamp<int>(program_.data().classCount, 0, kMaxClasses); ++k)
        絵_[k]->show();
    BringPageToFront(0);
    Frame12_->show();
}

void ProcessingScreen::KeepResultsGridInStep() {
    Competition& d = program_.data();
    if (グリッド結果_->cols() != d.gateCount + 5 || グリッド結果_->rows() != d.competitorCount + 1)
        SetUpResultsGrid();
    d.appliedGateCount = d.gateCount;
    ShowGateOptions();
}

namespace {

// Empties a cell when the grid has it; the reset walks the old counts, which a grid reshaped
// since then may no longer cover.
void Blank(ui::Grid* g, int row, int col) {
    if (row < g->rows() && col < g->cols()) g->setText(row, col, QString());
}

}  // namespace

void ProcessingScreen::ClearForReload() {
    const Competition& d = program_.data();
    const int count = std::clamp<int>(d.competitorCount, 0, kMaxCompetitors);
    const int gates = UsedGates(d);
    for (int i = 1; i <= count; ++i)
        for (int c = 0; c < 5 + gates; ++c) Blank(グリッド結果_, i, c);
    for (int i = 1; i <= count; ++i)
        for (int c = 0; c < 3; ++c) Blank(グリッドリスト_, i, c);
    const int classes = std::clamp<int>(d.classCount, 0, kMaxClasses);
    for (int k = 1; k <= classes; ++k) {
        const int listed = std::clamp<int>(d.classMemberCount[k], 0, kMaxSlots);
        for (int p = 1; p <= listed; ++p)
            for (int c = 0; c < 5; ++c) Blank(グリッド順位_[k - 1], p, c);
    }

    // The entry panel.
    Gop_.deselectAll();
    for (QLabel* label : 色_) label->clear();
    ブイ_.deselectAll();
    for (QLabel* label : ブイポイント_) label->clear();
    DSFQ_.deselectAll();
    for (QLineEdit* box : {ゼッケン_, 氏名_, 所属_, 分_, 秒_}) box->clear();
    合計_->clear();
    RP_->clear();
    forgetJudgeValues();
}

void ProcessingScreen::EnableLoadedButtons() {
    for (QPushButton* b : {基本設定ボタン_, エクセルボタン_, 出力ボタン_}) b->setEnabled(true);
}

bool ProcessingScreen::CloseWorkbook() {
    // Every change is saved when it is made; only a change whose save failed is still to be
    // written, and the workbook is kept until it is.
    return program_.releaseWorkbook(this);
}

void ProcessingScreen::onReturnClicked() {
    // The official stays here, with every result in memory, until the results are in the file.
    if (program_.data().excelStarted && !CloseWorkbook()) return;
    program_.dataLoadScreen().show();
    hide();
}

void ProcessingScreen::onCompetitorListClicked() {
    const Competition& d = program_.data();
    const int r = グリッドリスト_->currentRow();
    // Only competitor rows name a slot; the header row does not.
    if (r < 1 || r > std::min<int>(d.competitorCount, kMaxSlots)) return;
    const Competitor& who = d.competitors[r];
    // Setting the bib runs the bib lookup, as typing it would.
    ゼッケン_->setText(QString::number(who.bib));
    氏名_->setText(who.name);
    所属_->setText(who.affiliation);
}

void ProcessingScreen::BringPageToFront(int index) {
    if (index < 0 || index >= kClassPages) return;
    絵_[index]->raise();
}

void ProcessingScreen::SetUpClassTabs() {
    const Competition& d = program_.data();
    // className has room for classes 1..9 only.
    const int classes = std::clamp<int>(d.classCount, 0, kMaxClasses);
    タブ_->clear();
    // Tab 1 exists even without any class, so the strip never stands empty.
    絵_[0]->show();
    タブ_->addTab(d.className[1]);
    for (int k = 2; k <= classes; ++k) {
        絵_[k - 1]->show();
        グリッド順位_[k - 1]->show();
        タブ_->addTab(d.className[k]);
    }
    for (int k = classes + 1; k <= kClassPages; ++k) 絵_[k - 1]->hide();
}

void ProcessingScreen::LayOutClassPages() {
    const int classes = std::clamp<int>(program_.data().classCount, 0, kMaxClasses);
    const QRect client = タブ_->clientRect();
    for (int k = 0; k < classes; ++k)
        if (絵_[k]->geometry() != client) 絵_[k]->setGeometry(client);
    for (int k = 0; k < classes; ++k) {
        ui::Grid* grid = グリッド順位_[k];
        // The grid is meant to fill its page. Here the tabs and the frame caption take more
        // height than the grid's size allows for, so the page would hide the grid's last rows
        // and its scroll arrow; the grid ends at the page's lower edge instead.
        // In a window larger than laid out, it grows with the standings frame.
        const int top = ui::TwipsToPixels(kStandingsGridRect.top);
        const int height =
            std::min(ui::TwipsToPixels(kStandingsGridRect.height) + standingsGrowth_.height(),
                     client.height() - top);
        const QRect r(ui::TwipsToPixels(kStandingsGridRect.left), top,
                      ui::TwipsToPixels(kStandingsGridRect.width) + standingsGrowth_.width(),
                      height);
        if (grid->geometry() != r) grid->setGeometry(r);
    }
}

void ProcessingScreen::SetUpResultsGrid() {
    const Competition& d = program_.data();
    const int gates = std::max<int>(d.gateCount, 0);
    ui::Grid* g = グリッド結果_;
    g->setCols(gates + 5);
    g->setRows(std::max<int>(d.competitorCount, 0) + 1);
    for (int c = 0; c < g->cols(); ++c) g->setColWidth(c, kGateColumnWidth);
    for (int c = 0; c < 5; ++c) g->setColWidth(c, kResultWidths[c]);
    g->setRowHeight(-1, kGridRowHeight);
    g->setFixedCols(0);
    for (int c = 0; c < 5; ++c) g->setText(0, c, QString::fromUtf8(kResultHeaders[c]));
    for (int gate = 1; gate <= gates; ++gate)
        g->setText(0, 4 + gate, QStringLiteral("GNo.") + QString::number(gate));
    g->show();
    // The gate points of gates the grid no longer has go with their columns, so that the data
    // holds what the grid shows when the count grows again.
    Competition& data = program_.data();
    for (int i = 1; i <= std::clamp<int>(data.competitorCount, 0, kMaxCompetitors); ++i)
        for (int gate = gates; gate < kMaxGates; ++gate)
            data.competitors[i].gatePoints[gate].clear();
}

void ProcessingScreen::BuildCompetitorList() {
    const Competition& d = program_.data();
    const int count = std::clamp<int>(d.competitorCount, 0, kMaxSlots);
    ui::Grid* g = グリッドリスト_;
    g->setCols(3);
    g->setRows(count + 1);
    for (int c = 0; c < 3; ++c) g->setColWidth(c, kListWidths[c]);
    g->setRowHeight(-1, kGridRowHeight);
    g->setFixedCols(0);
    for (int c = 0; c < 3; ++c) g->setText(0, c, QString::fromUtf8(kListHeaders[c]));
    for (int i = 1; i <= count; ++i) {
        const Competitor& who = d.competitors[i];
        g->setText(i, 0, QString::number(who.bib));
        g->setText(i, 1, who.name);
        g->setText(i, 2, who.affiliation);
    }
    g->show();
}

}  // namespace zalvik
