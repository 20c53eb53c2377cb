// Makes examples/example.xlsx, the example results workbook, from the same cells that the
// data-load screen shows as the input format, with the official results sheet of class 1 in
// its second worksheet. Run from the project folder:
//   build/tools/make_example [output path]
#include <cstdio>
#include <string>

#include "app/Competition.h"
#include "output/ResultsSheet.h"
#include "race/Scoring.h"
#include "sheet/Workbook.h"
#include "store/ExampleData.h"
#include "store/FileMessages.h"
#include "store/InputSheet.h"

int main(int argc, char** argv) {
    const std::string path = argc > 1 ? argv[1] : "examples/example.xlsx";
    auto say = [](const sheet::FileFault& fault) {
        std::fprintf(stderr, "%s\n", zalvik::store::FileFaultMessage(fault).toUtf8().constData());
    };
    sheet::FileFault fault;
    if (!sheet::Workbook::createEmpty(path, {"入力", "成績"}, &fault)) {
        say(fault);
        return 1;
    }
    auto book = sheet::Workbook::open(path, &fault);
    sheet::Worksheet* input = book ? book->worksheet(1) : nullptr;
    if (!input) {
        say(book ? book->lastFault() : fault);
        return 1;
    }
    using Kind = zalvik::example::Cell::Kind;
    for (const auto& cell : zalvik::example::InputSheetCells()) {
        if (!cell.numberFormat.isEmpty())
            input->setNumberFormat(cell.row, cell.col, cell.numberFormat.toStdString());
        switch (cell.kind) {
            case Kind::Text:
                input->setText(cell.row, cell.col, cell.text.toStdString());
                break;
            case Kind::Number:
                input->setNumber(cell.row, cell.col, cell.number);
                break;
            case Kind::Date:
                input->setDate(cell.row, cell.col, {cell.year, cell.month, cell.day});
                break;
        }
    }
    // The second worksheet: the results sheet of class 1, written (and saved) the way the
    // output settings screen writes it.
    static zalvik::Competition competition;
    competition.statusWord[1] = "DS";
    competition.statusWord[2] = "DF";
    competition.statusWord[3] = "DQ";
    QString gateText;
    if (auto fault = zalvik::store::ReadInputSheet(*input, competition, &gateText)) {
        std::fprintf(stderr, "%s\n",
                     fault->message(QString::fromStdString(path)).toUtf8().constData());
        return 1;
    }
    zalvik::BuildStandings(competition);
    competition.outputClass = 1;
    const zalvik::ResultsSheetRun run = zalvik::WriteResultsSheet(competition, book.get());
    if (!run.written) {
        std::fprintf(stderr, "%s\n", run.why.toUtf8().constData());
        return 1;
    }
    const sheet::SaveResult saved = book->save();
    if (!saved.ok) {
        std::fprintf(stderr, "%s\n", zalvik::store::SaveMessage(saved).toUtf8().constData());
        return 1;
    }
    // The backup of the moments-old empty workbook is of no use to anyone.
    std::remove((path + ".bak").c_str());
    std::printf("%s\n", saved.savedPath.c_str());
    return 0;
}
