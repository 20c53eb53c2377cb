// The sentences about a file that cannot be opened, created or saved are built from the fault
// alone, word for word as officials have always read them; the faults themselves come out of the
// file layer with the kind and the system's error number a caller can act on.
#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>

#include "sheet/SheetTestSupport.h"
#include "store/FileMessages.h"
#include "support/FaultText.h"

using sheet::FileFault;
using sheet::FileProblem;
using sheet::PartDefect;
using testsupport::Message;

namespace {

FileFault Fault(FileProblem problem, std::string part = {}, PartDefect defect = PartDefect::None) {
    FileFault f;
    f.problem = problem;
    f.fileName = "大会.xlsx";
    f.part = std::move(part);
    f.defect = defect;
    return f;
}

FileFault WithErrno(FileProblem problem, int e) {
    FileFault f = Fault(problem);
    f.systemError = e;
    return f;
}

sheet::SaveResult Failed(FileFault f) {
    sheet::SaveResult r;
    r.fault = std::move(f);
    return r;
}

}  // namespace

TEST(FileMessages, EachFaultReadsAsBefore) {
    auto defect = [](FileProblem p, std::string part, PartDefect d, auto fill) {
        FileFault f = Fault(p, std::move(part), d);
        fill(f);
        return f;
    };
    auto none = [](FileFault&) {};
    FileFault position = Fault(FileProblem::NoSuchWorksheet);
    position.worksheetPosition = 3;
    FileFault packing = Fault(FileProblem::PackingFailed);
    packing.systemMessage = "Malloc failure";
    const std::string sheet1 = "xl/worksheets/sheet1.xml";

    const std::vector<std::pair<FileFault, std::string>> cases = {
        {FileFault(), ""},
        {WithErrno(FileProblem::NotFound, ENOENT), "ファイル「大会.xlsx」が見つかりません。"},
        {WithErrno(FileProblem::ReadDenied, EACCES),
         "ファイル「大会.xlsx」を読む権限がありません。"},
        {WithErrno(FileProblem::OpenFailed, EIO),
         "ファイル「大会.xlsx」を開けません（エラー番号5）。"},
        {Fault(FileProblem::NotAFile), "ファイル「大会.xlsx」はファイルではありません。"},
        {Fault(FileProblem::FileTooLarge), "ファイル「大会.xlsx」は大きすぎるため読み込めません。"},
        {Fault(FileProblem::OtherFormat),
         "ファイル「大会.xlsx」はxlsx形式のブックではないため、表計算ソフトで開いて「.xlsx」形式で"
         "保存し直してから読み込んでください。"},
        {Fault(FileProblem::NotZip),
         "ファイル「大会.xlsx」はxlsx形式のブックではありません（zipとして読めません）。"},
        {Fault(FileProblem::NotWorkbook),
         "ファイル「大会.xlsx」はxlsx形式のブックではありません（ブック本体の部品がありません）。"},
        {Fault(FileProblem::TooManyParts),
         "ファイル「大会.xlsx」は部品の数が多すぎるため読み込めません。"},
        {Fault(FileProblem::PartTooLarge, sheet1),
         "ファイル「大会.xlsx」は大きすぎるため読み込めません（xl/worksheets/"
         "sheet1.xmlの展開後の大きさが上限を超えています）。"},
        {Fault(FileProblem::Compression, sheet1),
         "ファイル「大会.xlsx」は読み込めません（xl/worksheets/"
         "sheet1.xmlの圧縮率が異常に高く、不正なファイルの疑いがあります）。"},
        {Fault(FileProblem::DamagedPart, "xl/_rels/workbook.xml.rels", PartDefect::Missing),
         "ファイル「大会.xlsx」は壊れています（xl/_rels/workbook.xml.relsがありません）。"},
        {Fault(FileProblem::DamagedPart, sheet1, PartDefect::CannotInflate),
         "ファイル「大会.xlsx」は壊れています（xl/worksheets/sheet1.xmlを展開できません）。"},
        {Fault(FileProblem::DamagedPart, "xl/workbook.xml", PartDefect::Doctype),
         "ファイル「大会.xlsx」は壊れています（xl/workbook.xml：許可されていないDOCTYPE宣言があり"
         "ます）。"},
        {defect(FileProblem::DamagedPart, "xl/workbook.xml", PartDefect::NotXml,
                [](FileFault& f) { f.byteOffset = 118; }),
         "ファイル「大会.xlsx」は壊れています（xl/workbook.xml：XMLとして読めません（118バイト目）"
         "）。"},
        {Fault(FileProblem::DamagedPart, "xl/sharedStrings.xml", PartDefect::NoElement),
         "ファイル「大会.xlsx」は壊れています（xl/sharedStrings.xml：XMLの中身がありません）。"},
        {Fault(FileProblem::NoWorksheets), "ファイル「大会.xlsx」にはワークシートがありません。"},
        {position, "ファイル「大会.xlsx」にはワークシート3がありません。"},
        {Fault(FileProblem::WorksheetWithoutPart, "入力"),
         "ファイル「大会.xlsx」は壊れています（ワークシート「入力」の部品がありません）。"},
        {defect(FileProblem::WorksheetUnreadable, "入力", PartDefect::WrongRoot, none),
         "ファイル「大会.xlsx」のワークシート「入力」は読み込めません（ワークシートの部品の形式が"
         "正しくありません）。"},
        {defect(FileProblem::WorksheetUnreadable, "入力", PartDefect::RowNumberOutOfRange,
                [](FileFault& f) { f.found = "0"; }),
         "ファイル「大会.xlsx」のワークシート「入力」は読み込めません（行番号「0」が範囲（1～"
         "1048576）の外にあります）。"},
        {defect(FileProblem::WorksheetUnreadable, "入力", PartDefect::TooManyRows, none),
         "ファイル「大会.xlsx」のワークシート「入力」は読み込めません（行の数が上限の1048576を超"
         "えています）。"},
        {defect(FileProblem::WorksheetUnreadable, "入力", PartDefect::RowOutOfOrder,
                [](FileFault& f) { f.row = 7; }),
         "ファイル「大会.xlsx」のワークシート「入力」は読み込めません（行7が正しい並び順にありませ"
         "ん）。"},
        {defect(FileProblem::WorksheetUnreadable, "入力", PartDefect::CellReferenceBad,
                [](FileFault& f) { f.found = "A0"; }),
         "ファイル「大会.xlsx」のワークシート「入力」は読み込めません（セル番地「A0」が正しくない"
         "か範囲の外にあります）。"},
        {defect(FileProblem::WorksheetUnreadable, "入力", PartDefect::CellInOtherRow,
                [](FileFault& f) {
                    f.found = "B9";
                    f.row = 8;
                }),
         "ファイル「大会.xlsx」のワークシート「入力」は読み込めません（セルB9が行8の中にあります"
         "）。"},
        {defect(FileProblem::WorksheetUnreadable, "入力", PartDefect::TooManyColumns,
                [](FileFault& f) { f.row = 2; }),
         "ファイル「大会.xlsx」のワークシート「入力」は読み込めません（行2の列の数が上限の16384を"
         "超えています）。"},
        {defect(FileProblem::WorksheetUnreadable, "入力", PartDefect::CellOutOfOrder,
                [](FileFault& f) {
                    f.row = 4;
                    f.column = 28;
                }),
         "ファイル「大会.xlsx」のワークシート「入力」は読み込めません（セルAB4が正しい並び順にあ"
         "りません）。"},
        {Fault(FileProblem::NoSheetNames),
         "ファイル「大会.xlsx」を作れません（ワークシートの名前がありません）。"},
        {packing, "ファイル「大会.xlsx」を作れませんでした（Malloc failure）。"},
        // Why a write failed, by the system's error number.
        {WithErrno(FileProblem::WriteFailed, EACCES),
         "ファイル「大会.xlsx」を作れませんでした（フォルダに書き込む権限がありません）。"},
        {WithErrno(FileProblem::WriteFailed, EPERM),
         "ファイル「大会.xlsx」を作れませんでした（フォルダに書き込む権限がありません）。"},
        {WithErrno(FileProblem::WriteFailed, EROFS),
         "ファイル「大会.xlsx」を作れませんでした（読み取り専用の場所です）。"},
        {WithErrno(FileProblem::WriteFailed, ENOSPC),
         "ファイル「大会.xlsx」を作れませんでした（ディスクの空きが足りません）。"},
        {WithErrno(FileProblem::WriteFailed, EDQUOT),
         "ファイル「大会.xlsx」を作れませんでした（ディスクの空きが足りません）。"},
        {WithErrno(FileProblem::WriteFailed, ENOENT),
         "ファイル「大会.xlsx」を作れませんでした（保存先のフォルダが見つかりません）。"},
        {WithErrno(FileProblem::WriteFailed, ENOTDIR),
         "ファイル「大会.xlsx」を作れませんでした（保存先のフォルダが見つかりません）。"},
        {WithErrno(FileProblem::WriteFailed, EEXIST),
         "ファイル「大会.xlsx」を作れませんでした（同じ名前のファイルがすでにあります）。"},
        {WithErrno(FileProblem::WriteFailed, 9999),
         "ファイル「大会.xlsx」を作れませんでした（書き込みに失敗しました（エラー番号9999））。"},
    };
    for (const auto& [fault, expected] : cases)
        EXPECT_EQ(Message(fault), expected) << static_cast<int>(fault.problem);
}

TEST(FileMessages, ASaveSaysWhatHappensNext) {
    const std::string kept = "が、変更は保持しているので次の保存で再び書き込みます。";
    sheet::SaveResult ordinary;
    ordinary.ok = true;
    ordinary.savedPath = "/race/大会.xlsx";
    ordinary.fault.fileName = "大会.xlsx";
    sheet::SaveResult beside = ordinary;
    beside.savedUnderNewName = true;
    beside.savedPath = "/race/大会 (2).xlsx";
    FileFault packing = Fault(FileProblem::PackingFailed);
    packing.systemMessage = "Malloc failure";

    const std::vector<std::pair<sheet::SaveResult, std::string>> cases = {
        {ordinary, ""},
        {beside,
         "ファイル「大会.xlsx」はほかのプログラムで変更されていたため上書きせず、「大会 "
         "(2).xlsx」として保存しました。"},
        {Failed(packing),
         "ファイル「大会.xlsx」を保存できませんでした（ファイルの組み立てに失敗しました：Malloc "
         "failure）" +
             kept},
        {Failed(WithErrno(FileProblem::BackupFailed, ENOSPC)),
         "ファイル「大会.xlsx」の控え（.bak）を作れなかったため保存しませんでした（ディスクの空き"
         "が足りません）" +
             kept},
        {Failed(WithErrno(FileProblem::WriteFailed, EROFS)),
         "ファイル「大会.xlsx」を保存できませんでした（読み取り専用の場所です）" + kept},
        {Failed(WithErrno(FileProblem::WriteFailed, EEXIST)),
         "ファイル「大会.xlsx」を保存できませんでした（同じ名前のファイルがすでにあります）" +
             kept},
        {Failed(WithErrno(FileProblem::WriteFailed, 77)),
         "ファイル「大会.xlsx」を保存できませんでした（書き込みに失敗しました（エラー番号77））" +
             kept},
    };
    for (const auto& [saved, expected] : cases)
        EXPECT_EQ(Message(saved), expected) << static_cast<int>(saved.fault.problem);
}

// Real files: the fault carries the kind and the errno, and the sentence names the file.
TEST(FileMessages, RealFaultsCarryTheSystemErrorNumber) {
    testsupport::TempDir dir;
    FileFault fault;
    EXPECT_FALSE(sheet::Workbook::open(dir.file("gone.xlsx"), &fault));
    EXPECT_EQ(fault.problem, FileProblem::NotFound);
    EXPECT_EQ(fault.systemError, ENOENT);

    EXPECT_FALSE(
        sheet::Workbook::createEmpty(dir.file("no/such/folder/new.xlsx"), {"入力"}, &fault));
    EXPECT_EQ(fault.problem, FileProblem::WriteFailed);
    EXPECT_EQ(Message(fault),
              "ファイル「new.xlsx」を作れませんでした（保存先のフォルダが見つかりません）。");
    EXPECT_FALSE(sheet::Workbook::createEmpty(dir.file("none.xlsx"), {}, &fault));
    EXPECT_EQ(Message(fault),
              "ファイル「none.xlsx」を作れません（ワークシートの名前がありません）。");

    // A fault is cleared by the next call that succeeds.
    const std::string folder = dir.file("race");
    std::filesystem::create_directory(folder);
    const std::string path = folder + "/大会.xlsx";
    ASSERT_TRUE(sheet::Workbook::createEmpty(path, {"入力"}, &fault)) << fault;
    EXPECT_FALSE(fault);
    auto book = sheet::Workbook::open(path, &fault);
    ASSERT_TRUE(book) << fault;
    EXPECT_FALSE(fault);

    // The folder is pulled away and a plain file stands in its place.
    book->worksheet(1)->setText(2, 2, "kept");
    std::filesystem::rename(folder, folder + "-away");
    sheettest::WriteFile(folder, "not a folder");
    const sheet::SaveResult failed = book->save();
    EXPECT_FALSE(failed.ok);
    EXPECT_EQ(failed.fault.problem, FileProblem::WriteFailed);
    EXPECT_EQ(failed.fault.systemError, ENOTDIR);
    EXPECT_EQ(Message(failed),
              "ファイル「大会.xlsx」を保存できませんでした（保存先のフォルダが見つかりません）が、"
              "変更は保持しているので次の保存で再び書き込みます。");

    std::filesystem::remove(folder);
    std::filesystem::rename(folder + "-away", folder);
    const sheet::SaveResult saved = book->save();
    EXPECT_TRUE(saved.ok) << saved;
    EXPECT_FALSE(saved.fault);
    EXPECT_EQ(Message(saved), "");
}
