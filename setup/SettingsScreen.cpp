#include "setup/SettingsScreen.h"

#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QEvent>
#include <QFileInfo>
#include <QFocusEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVariant>
#include <algorithm>
#include <cmath>

#include "app/Numbers.h"
#include "app/Screens.h"
#include "race/ProcessingScreen.h"
#include "setup/BuoyScore.h"
#include "setup/DateText.h"
#include "setup/GateCount.h"
#include "sheet/Workbook.h"
#include "store/ScreenLoader.h"
#include "store/SettingsWriter.h"
#include "ui/Controls.h"
#include "ui/Dialogs.h"
#include "ui/Grid.h"
#include "ui/Twips.h"

namespace zalvik {
namespace {

// The boxes and grids were drawn for a proportional Japanese UI font; where it is missing the
// application's Japanese font stands in.
QFont BoxFont(double points) {
    QFont f = QApplication::font();
    f.setFamilies({QStringLiteral("ＭＳ Ｐゴシック"), QApplication::font().family()});
    f.setPointSizeF(points);
    return f;
}

ui::Grid* MakeGrid(QWidget* parent, const QString& name, ui::Rect r) {
    auto* g = new ui::Grid(parent);
    g->setObjectName(name);
    ui::Place(g, r.left, r.top, r.width, r.height);
    return g;
}

QLineEdit* MakeEditor(QWidget* parent, const QString& name, ui::Rect r) {
    QLineEdit* e = ui::MakeTextBox(parent, name, r);
    e->hide();
    return e;
}

}  // namespace

SettingsScreen::SettingsScreen(Program& program) : ScreenBase(program, QStringLiteral("設定画面")) {
    setWindowTitle(QStringLiteral("設定画面"));
    ui::SetClientSize(this, 10236, 8208);
    buildControls();
}

void SettingsScreen::EnsureLoaded() {
    if (loaded_) return;
    loaded_ = true;
    loadHandler();
}

void SettingsScreen::showEvent(QShowEvent* e) {
    // Shown for the first time since it was created: the load step fills it from the
    // competition first.
    EnsureLoaded();
    ScreenBase::showEvent(e);
}

void SettingsScreen::SetGateCountText(const QString& text) { ゲート数_->setCurrentText(text); }

void SettingsScreen::HideCellEditors() {
    Text1_->hide();
    Text2_->hide();
}

void SettingsScreen::ClearForReload() {
    // The buoy grid's row labels stay: only the loader's own fill comes back, and it writes names
    // and scores, not labels.
    for (int k = 1; k <= kBuoyKinds; ++k) {
        グリッドV名_->setText(k, 1, QString());
        グリッドV名_->setText(k, 2, QString());
    }
    大会名称_->clear();
    場所コンボ_->setCurrentText(QString());
    ゲート数_->setCurrentText(QString());
}

void SettingsScreen::buildControls() {
    const QFont boxFont = BoxFont(QApplication::font().pointSizeF());

    QGroupBox* frame4 = ui::MakeFrame(this, QStringLiteral("Frame4"), {}, {225, 150, 9300, 1350});
    ui::MakeLabel(frame4, QStringLiteral("Label3"), QStringLiteral("大会名称"),
                  {165, 180, 960, 300});
    大会名称_ = ui::MakeTextBox(frame4, QStringLiteral("大会名称"), {240, 645, 8775, 465});
    大会名称_->setFont(BoxFont(14));

    QGroupBox* frame5 = ui::MakeFrame(this, QStringLiteral("Frame5"), {}, {240, 1815, 4005, 1830});
    ui::MakeLabel(frame5, QStringLiteral("Label4"), QStringLiteral("大会場所"),
                  {210, 345, 825, 270});
    場所コンボ_ = ui::MakeComboBox(frame5, QStringLiteral("場所コンボ"), {195, 630, 3525, 345});
    ui::MakeLabel(frame5, QStringLiteral("Label5"), QStringLiteral("開催日"),
                  {240, 1050, 735, 240});
    開催日_ = ui::MakeDatePicker(frame5, QStringLiteral("開催日"), {225, 1305, 2070, 360});
    // The date a new picker shows until a stored date is put into it.
    開催日_->setDate(InitialEventDate());

    QGroupBox* frame6 = ui::MakeFrame(this, QStringLiteral("Frame6"), {}, {1875, 3690, 2355, 3510});
    グリッドクラス名_ =
        MakeGrid(frame6, QStringLiteral("グリッドクラス名"), {255, 270, 1845, 2820});
    Text3_ = MakeEditor(frame6, QStringLiteral("Text3"), {1200, 2535, 810, 375});

    QGroupBox* frame3 = ui::MakeFrame(this, QStringLiteral("Frame3"), {}, {4305, 1815, 2832, 5370});
    QLabel* label2 = ui::MakeLabel(frame3, QStringLiteral("Label2"),
                                   QStringLiteral("通過ﾌﾞｲ名称 ・ ﾎﾟｲﾝﾄ"), {228, 552, 2280, 300});
    label2->setFont(boxFont);
    グリッドV名_ = MakeGrid(frame3, QStringLiteral("グリッドV名"), {180, 1125, 2205, 2790});
    Text2_ = MakeEditor(frame3, QStringLiteral("Text2"), {1680, 4680, 885, 405});

    QGroupBox* frame1 = ui::MakeFrame(this, QStringLiteral("Frame1"), {}, {7260, 1815, 2268, 5400});
    QGroupBox* frame2 = ui::MakeFrame(frame1, QStringLiteral("Frame2"), QStringLiteral("ゲート数"),
                                      {168, 270, 1800, 750});
    ゲート数_ = ui::MakeComboBox(frame2, QStringLiteral("ゲート数"), {270, 255, 855, 276});
    ui::MakeLabel(frame2, QStringLiteral("Label1"), QStringLiteral("旗門"), {1215, 345, 405, 255});
    グリッドV数_ = MakeGrid(frame1, QStringLiteral("グリッドV数"), {132, 1092, 1836, 4152});
    グリッドV数_->hide();
    Text1_ = MakeEditor(frame1, QStringLiteral("Text1"), {960, 4755, 1035, 405});

    Command1_ = ui::MakeButton(this, QStringLiteral("Command1"), QStringLiteral("選定完了"),
                               {7815, 7605, 915, 435});
    戻るボタン_ = ui::MakeButton(this, QStringLiteral("戻るボタン"), QStringLiteral("戻る"),
                                 {8880, 7620, 645, 420});

    for (QWidget* w : {static_cast<QWidget*>(場所コンボ_), static_cast<QWidget*>(開催日_),
                       static_cast<QWidget*>(ゲート数_), static_cast<QWidget*>(グリッドクラス名_),
                       static_cast<QWidget*>(グリッドV名_), static_cast<QWidget*>(グリッドV数_),
                       static_cast<QWidget*>(Text1_), static_cast<QWidget*>(Text2_),
                       static_cast<QWidget*>(Text3_)})
        w->setFont(boxFont);

    // A pick from the list (by mouse or by the arrow keys) is the usual way to change the
    // number of gates; every key released in the box refreshes the tables.
    connect(ゲート数_, &QComboBox::activated, this, [this] { onGateCountPicked(); });
    ゲート数_->installEventFilter(this);
    if (ゲート数_->lineEdit()) ゲート数_->lineEdit()->installEventFilter(this);
    Text1_->installEventFilter(this);
    connectEditor(グリッドクラス名_, Text3_, true);
    connectEditor(グリッドV名_, Text2_, false);
    connectEditor(グリッドV数_, Text1_, true);
    connect(Command1_, &QPushButton::clicked, this, [this] { applySettings(); });
    connect(戻るボタン_, &QPushButton::clicked, this, [this] { goBack(); });
}

void SettingsScreen::connectEditor(ui::Grid* grid, QLineEdit* editor, bool hideOnScroll) {
    connect(grid, &ui::Grid::cellClicked, this, [this, grid, editor] { openEditor(grid, editor); });
    // The grid shows what is being typed at once. The current cell is always an editable one
    // while the editor is in use; the bounds are checked because the gate grid can lose rows
    // when a smaller gate count is picked.
    connect(editor, &QLineEdit::textChanged, grid, [grid](const QString& text) {
        const int r = grid->currentRow();
        const int c = grid->currentCol();
        if (r >= grid->fixedRows() && c >= grid->fixedCols() && r < grid->rows() &&
            c < grid->cols())
            grid->setText(r, c, text);
    });
    // The editor belongs to a cell that a scroll moves away; what was typed stays in the cell.
    if (hideOnScroll) connect(grid, &ui::Grid::scrolled, editor, &QWidget::hide);
}

void SettingsScreen::openEditor(ui::Grid* grid, QLineEdit* editor) {
    const int row = grid->currentRow();
    const int col = grid->currentCol();
    // Header and row-label cells are not edited.
    if (row < grid->fixedRows() || col < grid->fixedCols()) return;
    Competition& d = program_.data();
    d.editRow = static_cast<int16_t>(row);
    d.editCol = static_cast<int16_t>(col);
    grid->setCurrentCell(row, col);
    if (editor->isHidden()) editor->show();
    editor->setText(grid->text(row, col));
    // Grid and editor share their frame, so the cell's place in the grid plus the grid's place
    // in the frame is the editor's place.
    const QRect cell = grid->cellRect(row, col);
    if (!cell.isEmpty()) editor->setGeometry(cell.translated(grid->pos()));
    // What is typed replaces the cell's text, as in a spreadsheet.
    editor->selectAll();
    editor->raise();
    editor->setFocus();
    if (editor == Text1_) gateCheckPending_ = true;
}

void SettingsScreen::loadHandler() {
    const Competition& d = program_.data();
    for (int k = 1; k <= kMaxGates; ++k) ゲート数_->addItem(QString::number(k));
    場所コンボ_->addItem(QStringLiteral("ミルネ温泉スキー場"));
    ShowEventDetails();
    ゲート数_->setCurrentText(QString::number(d.gateCount));
    SetUpBuoyGrid();
    SetUpGateGrid();
    program_.processingScreen().SetUpClassTabs();
    SetUpClassGrid();
    const store::Fault fault = FillSettingsTables();
    EmptyClassRowsBelowCount();
    // While a load is running the loader reads the buoys per gate again for the new gate count
    // and reports what it cannot read itself; the counts read here belong to the old one.
    if (fault && !program_.loadInProgress())
        ui::ShowMessage(this, fault->message(QFileInfo(d.workbookPath).fileName()));
}

void SettingsScreen::ShowEventDetails() {
    const Competition& d = program_.data();
    大会名称_->setText(d.eventName);
    場所コンボ_->setCurrentText(d.eventVenue);
    // Without a stored date, or with a text that is no date, the picker shows its initial date,
    // whatever an earlier competition had put there.
    const std::optional<QDate> date =
        d.eventDate.isEmpty() ? std::nullopt : DateFromText(d.eventDate);
    開催日_->setDate(date ? *date : InitialEventDate());
}

void SettingsScreen::EmptyClassRowsBelowCount() {
    const int classes = std::clamp<int>(program_.data().classCount, 0, kMaxClasses);
    for (int k = classes + 1; k <= kMaxClasses; ++k) グリッドクラス名_->setText(k, 0, QString());
}

void SettingsScreen::SetUpClassGrid() {
    ui::Grid* g = グリッドクラス名_;
    g->setCols(1);
    g->setRows(10);
    g->setColWidth(0, 1460);
    g->setRowHeight(-1, 450);
    g->setFixedCols(0);
    g->setText(0, 0, QStringLiteral("クラス名称"));
}

void SettingsScreen::SetUpBuoyGrid() {
    ui::Grid* g = グリッドV名_;
    g->setCols(3);
    g->setRows(6);
    g->setColWidth(0, 600);
    g->setColWidth(1, 850);
    g->setColWidth(2, 650);
    g->setRowHeight(-1, 450);
    g->setFixedCols(1);
    g->setFixedRows(1);
    g->setText(0, 0, QStringLiteral("ﾌﾞｲNo"));
    g->setText(0, 1, QStringLiteral(" 判別名"));
    g->setText(0, 2, QStringLiteral(" 得点"));
    for (int k = 1; k <= kBuoyKinds; ++k)
        g->setText(k, 0, QStringLiteral("ﾌﾞｲ ") + QString::number(k));
    g->show();
}

bool SettingsScreen::SetUpGateGrid() {
    const GateCountValue v = ParseGateCount(ゲート数_->currentText());
    if (v.kind == GateCountValue::Kind::OutOfRange) return false;
    ui::Grid* g = グリッドV数_;
    if (v.kind == GateCountValue::Kind::None) {
        g->hide();
        return true;
    }
    program_.data().gateCount = v.gates;
    g->setCols(2);
    g->setRows(v.rows);
    g->setColWidth(0, 600);
    g->setColWidth(1, 850);
    g->setRowHeight(-1, 450);
    g->setFixedCols(1);
    g->setFixedRows(1);
    g->setText(0, 0, QStringLiteral(" GNo"));
    g->setText(0, 1, QStringLiteral(" ﾌﾞｲ数"));
    for (int gate = 1; gate <= v.gates; ++gate) g->setText(gate, 0, QString::number(gate));
    g->show();
    return true;
}

store::Fault SettingsScreen::FillSettingsTables() {
    Competition& d = program_.data();
    store::Fault fault;

    // The gates of the box's text, counted the one way every reader of that text counts them
    // (nearest whole number), but never past the rows the gate grid has.
    const GateCountValue n = ParseGateCount(ゲート数_->currentText());
    const int gates = std::min<int>(n.kind == GateCountValue::Kind::Count ? n.gates : 0,
                                    グリッドV数_->rows() - 1);
    sheet::Worksheet* ws = program_.workbook() ? program_.workbook()->worksheet(1) : nullptr;
    for (int g = 1; g <= gates; ++g) {
        // Without a readable input sheet, or past a cell that could not be read, the counts
        // held in memory stand.
        if (ws && !fault) fault = store::ReadGateBuoyCount(*ws, g, &d.gateBuoyCount[g]);
        グリッドV数_->setText(g, 1, QString::number(d.gateBuoyCount[g]));
    }

    for (int k = 1; k <= kBuoyKinds; ++k) {
        グリッドV名_->setText(k, 1, d.buoyName[k]);
        グリッドV名_->setText(k, 2, QString::number(d.buoyScore[k]));
    }

    ProcessingScreen& p = program_.processingScreen();
    p.ShowBuoyTable();
    p.ShowGateOptions();

    const int classes = std::clamp<int>(d.classCount, 0, kMaxClasses);
    for (int k = 1; k <= classes; ++k) グリッドクラス名_->setText(k, 0, d.className[k]);
    return fault;
}

void SettingsScreen::onGateCountPicked() { SetUpGateGrid(); }

void SettingsScreen::onGateCountKeyUp() {
    const QString text = ゲート数_->currentText();
    if (ParseGateCount(text).kind == GateCountValue::Kind::OutOfRange) {
        // More than twelve gates cannot be held; the box goes back to the count in use.
        ui::ShowMessage(this, GateCountRefusedMessage(text));
        ゲート数_->setCurrentText(QString::number(program_.data().gateCount));
    }
    // A typed count reshapes the gate grid first, as a picked one does, so that the tables
    // below are never filled past the grid's rows.
    SetUpGateGrid();
    const store::Fault fault = FillSettingsTables();
    if (fault)
        ui::ShowMessage(this, fault->message(QFileInfo(program_.data().workbookPath).fileName()));
}

void SettingsScreen::onGateEditorLostFocus() {
    gateCheckPending_ = false;
    Competition& d = program_.data();
    const int row = d.editRow;
    // The check concerns column 1 of the row last clicked; a row the gate grid does not have
    // (the click was in another grid) has nothing to check.
    if (row < 1 || row >= グリッドV数_->rows() || row > kMaxGates || グリッドV数_->cols() < 2)
        return;
    if (const std::optional<int16_t> count = ParseGateBuoyCount(グリッドV数_->text(row, 1)))
        d.gateBuoyCount[row] = *count;
    else
        グリッドV数_->setText(row, 1, QString());
}

bool SettingsScreen::eventFilter(QObject* watched, QEvent* e) {
    if (e->type() == QEvent::KeyRelease &&
        (watched == ゲート数_ || watched == ゲート数_->lineEdit())) {
        onGateCountKeyUp();
    } else if (watched == Text1_ && e->type() == QEvent::FocusIn) {
        gateCheckPending_ = true;
    } else if (watched == Text1_ && e->type() == QEvent::FocusOut) {
        // Only a move of the focus to another control of the program ends the edit; switching
        // to another window or opening a menu does not. The check runs once per visit: run twice
        // on a refused count, it would take the emptied cell as 0.
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(e)->reason();
        if (gateCheckPending_ && reason != Qt::ActiveWindowFocusReason &&
            reason != Qt::PopupFocusReason)
            onGateEditorLostFocus();
    }
    return ScreenBase::eventFilter(watched, e);
}

void SettingsScreen::goBack() {
    // A gate count picked here but not applied is undone, so that gateCount keeps matching the
    // processing screen's results grid and gate options.
    Competition& d = program_.data();
    d.gateCount = d.appliedGateCount;
    program_.processingScreen().ShowGateOptions();
    program_.processingScreen().show();
    program_.unloadSettingsScreen();
}

void SettingsScreen::closeBox() { goBack(); }

QString SettingsScreen::refusalBeforeApplying() const {
    const QString gateText = ゲート数_->currentText();
    // The per-gate counts are written for as many gates as the text says; the tables hold twelve.
    if (ParseGateCount(gateText).kind == GateCountValue::Kind::OutOfRange)
        return GateCountRefusedMessage(gateText);
    for (int k = 1; k <= kBuoyKinds; ++k) {
        const QString score = グリッドV名_->text(k, 2);
        if (!ParseBuoyScore(score))
            return BuoyScoreRefusedMessage(k, グリッドV名_->text(k, 1), score);
    }
    return {};
}

void SettingsScreen::applySettings() {
    Competition& d = program_.data();
    // Pressing the button takes the focus from the gate grid's editor, and its check stores the
    // count typed there before this runs. Where the press does not move the focus (a shortcut
    // key, or code pressing the button), the check is run here instead; it never runs twice for
    // one visit to the editor.
    if (gateCheckPending_) onGateEditorLostFocus();

    if (const QString refusal = refusalBeforeApplying(); !refusal.isEmpty()) {
        ui::ShowMessage(this, refusal);
        return;
    }
    // A count that reached the box without a pick or a key (pasted with the mouse) is taken as a
    // picked one, so that the processing screen is rebuilt for the count the workbook receives.
    const QString gateText = ゲート数_->currentText();
    const GateCountValue gates = ParseGateCount(gateText);
    if (gates.kind == GateCountValue::Kind::Count && gates.gates != d.gateCount) SetUpGateGrid();

    ProcessingScreen& p = program_.processingScreen();
    p.ShowGateOptions();
    for (int k = 1; k <= kBuoyKinds; ++k) {
        d.buoyName[k] = グリッドV名_->text(k, 1);
        d.buoyScore[k] = ParseBuoyScore(グリッドV名_->text(k, 2)).value_or(0);
    }
    Text1_->hide();
    Text2_->hide();
    Text3_->hide();
    // Showing the processing screen puts the new buoy names on its buoy options.
    p.show();
    hide();
    p.ShowBuoyPointLabels();

    d.eventName = 大会名称_->text();
    d.eventVenue = 場所コンボ_->currentText();
    const QDate date = 開催日_->date();
    d.eventDate = DateText(date);
    // The class list ends at the first empty row; a name below it is not a class.
    int16_t classes = kMaxClasses;
    for (int k = 1; k <= kMaxClasses; ++k) {
        if (グリッドクラス名_->text(k, 0).isEmpty()) {
            classes = static_cast<int16_t>(k - 1);
            break;
        }
    }
    d.classCount = classes;
    for (int k = 1; k <= classes; ++k) d.className[k] = グリッドクラス名_->text(k, 0);

    sheet::Workbook* workbook = program_.workbook();
    sheet::Worksheet* ws = workbook ? workbook->worksheet(1) : nullptr;
    if (ws) {
        const std::vector<store::SettingsCell> cells = store::SettingsBlockCells(d, gateText, date);
        program_.writeJournal(&p, store::SettingsEntry(cells));
        store::WriteCells(*ws, cells);
    }

    p.SetUpClassTabs();
    p.LayOutClassPages();
    p.SetUpResultsGrid();
    d.appliedGateCount = d.gateCount;
    program_.resultsChanged();

    if (!workbook) {
        ui::ShowMessage(&p, QStringLiteral("ブックが開かれていないため、設定は画面にだけ反映し、"
                                           "ブックには書き込みませんでした。"));
        return;
    }
    const QString fileName = QFileInfo(QString::fromStdString(workbook->path())).fileName();
    if (!ws) {
        ui::ShowMessage(&p,
                        QStringLiteral("ブック「%1」の入力シートを読めないため、設定は画面にだけ"
                                       "反映し、ブックには書き込みませんでした。")
                            .arg(fileName));
        return;
    }
    // Every change to the workbook is saved at once. A failed save keeps the changes in memory
    // and the next save writes them too.
    program_.saveWorkbook(&p);
}

}  // namespace zalvik
