#include "app/DataLoadScreen.h"

#include <QLabel>
#include <QPushButton>

#include "app/Screens.h"
#include "app/StartScreen.h"
#include "race/ProcessingScreen.h"
#include "store/ExampleData.h"
#include "store/ScreenLoader.h"
#include "ui/Controls.h"
#include "ui/Grid.h"
#include "ui/Twips.h"

namespace zalvik {
namespace {

// Column name as a spreadsheet writes it: 1 → "A", 26 → "Z", 27 → "AA".
QString ColumnLetters(int col) {
    QString letters;
    for (; col > 0; col = (col - 1) / 26) letters.prepend(QChar(u'A' + (col - 1) % 26));
    return letters;
}

// Widths in twips of the example's columns 1..28, wide enough for what each column holds:
// bib, name, affiliation, class, time, buoy and race points, status, twelve gate points, then
// the settings block (buoy names and scores, gate count, buoys per gate, labels, values,
// class count, class names).
constexpr int kExampleColumnWidths[28] = {
    450, 1230, 1800, 450, 660, 780,  780, 540,                      // 1..8
    540, 540,  540,  540, 540, 540,  540, 540, 540, 540, 540, 540,  // 9..20
    660, 480,  600,  540, 900, 2400, 600, 960,                      // 21..28
};

}  // namespace

void FillExampleSheet(ui::Grid& grid) {
    const int rows = example::RowCount();
    const int cols = example::ColumnCount();
    grid.setRows(rows + 1);
    grid.setCols(cols + 1);
    grid.setFixedRows(1);
    grid.setFixedCols(1);
    grid.setRowHeight(-1, 240);
    grid.setColWidth(0, 360);
    for (int c = 1; c <= cols; ++c) {
        grid.setText(0, c, ColumnLetters(c));
        grid.setColWidth(c, c <= 28 ? kExampleColumnWidths[c - 1] : 960);
    }
    for (int r = 1; r <= rows; ++r) {
        grid.setText(r, 0, QString::number(r));
        for (int c = 1; c <= cols; ++c) grid.setText(r, c, example::DisplayText(r, c));
    }
}

DataLoadScreen::DataLoadScreen(Program& program)
    : ScreenBase(program, QStringLiteral("データ読込画面")) {
    setWindowTitle(QStringLiteral("データ読込画面"));
    ui::SetClientSize(this, 5292, 3780);

    Label1 = ui::MakeLabel(
        this, QStringLiteral("Label1"),
        QStringLiteral("あらかじめ作成したエクセルのシートからデータを読み込みます。"),
        {168, 144, 5052, 384});
    Label2 = ui::MakeLabel(this, QStringLiteral("Label2"),
                           QStringLiteral("データ入力形式は下記表のとおりです。"),
                           {204, 540, 3108, 264});

    // The example is for looking at only: it scrolls and can be clicked, but never edited.
    OLE1 = new ui::Grid(this);
    OLE1->setObjectName(QStringLiteral("OLE1"));
    ui::Place(OLE1, 72, 972, 4632, 1764);
    FillExampleSheet(*OLE1);

    読込ボタン = ui::MakeButton(this, QStringLiteral("読込ボタン"), QStringLiteral("読　　込"),
                                {2568, 2904, 1128, 768});
    戻る = ui::MakeButton(this, QStringLiteral("戻る"), QStringLiteral("戻　る"),
                          {4092, 3156, 648, 492});

    connect(読込ボタン, &QPushButton::clicked, this, [this] { loadAction(); });
    connect(戻る, &QPushButton::clicked, this, [this] { goBack(); });
}

// A cancelled file choice or a file that cannot be opened ends only the open step; the rest of
// the action still runs, so the user always lands on the processing screen with whatever data
// the program holds.
void DataLoadScreen::loadAction() { RunLoadAction(program_); }

void DataLoadScreen::goBack() {
    program_.startScreen().show();
    program_.unloadDataLoadScreen();
}

// Closing the window is the same as going back: the start screen is shown again, so the
// program never runs on with no screen.
void DataLoadScreen::closeBox() { goBack(); }

}  // namespace zalvik
