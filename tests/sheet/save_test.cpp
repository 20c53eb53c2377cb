// Saving never loses the user's file: a backup of the file as loaded, no overwriting of changes
// made by another program, and a failed save that leaves the file whole and the data in memory.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <random>
#include <thread>

#include "sheet/SheetTestSupport.h"
#include "sheet/Workbook.h"
#include "support/FaultText.h"

using namespace sheet;
using sheettest::ReadFile;

namespace {

std::vector<std::string> Listing(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

struct FaultGuard {
    ~FaultGuard() { Workbook::setSaveFaultForTesting(Workbook::SaveFault::None); }
};

std::unique_ptr<Workbook> MakeAndOpen(const std::string& path) {
    sheet::FileFault fault;
    EXPECT_TRUE(Workbook::createEmpty(path, {"入力", "成績"}, &fault)) << fault;
    auto wb = Workbook::open(path, &fault);
    EXPECT_TRUE(wb) << fault;
    return wb;
}

std::string CellAfterReopen(const std::string& path, int row, int col) {
    sheet::FileFault fault;
    auto wb = Workbook::open(path, &fault);
    return wb ? wb->worksheet(1)->text(row, col) : testsupport::Message(fault);
}

}  // namespace

// Opened through a relative link to a link, the workbook is saved into the file they point to,
// its .bak beside that file, and the links stay.
TEST(SheetSave, BackupKeepsTheFileAsLoaded) {
    testsupport::TempDir dir;
    const std::string path = dir.file("大会.xlsx");
    MakeAndOpen(path);
    const std::string loaded = ReadFile(path);
    std::filesystem::create_directory(dir.file("desk"));
    std::filesystem::create_symlink("前日.xlsx", dir.file("desk/大会.xlsx"));
    std::filesystem::create_symlink("../大会.xlsx", dir.file("desk/前日.xlsx"));
    sheet::FileFault fault;
    auto wb = Workbook::open(dir.file("desk/大会.xlsx"), &fault);
    ASSERT_TRUE(wb) << fault;
    wb->worksheet(1)->setNumber(2, 5, 1);
    ASSERT_TRUE(wb->save().ok);
    wb->worksheet(1)->setNumber(2, 5, 2);
    ASSERT_TRUE(wb->save().ok);
    EXPECT_EQ(ReadFile(path + ".bak"), loaded);  // not the first save's result
    EXPECT_EQ(CellAfterReopen(path, 2, 5), "2");
    EXPECT_EQ(Listing(dir.path()),
              (std::vector<std::string>{"desk", "大会.xlsx", "大会.xlsx.bak"}));
    EXPECT_EQ(Listing(dir.file("desk")), (std::vector<std::string>{"前日.xlsx", "大会.xlsx"}));
    EXPECT_TRUE(std::filesystem::is_symlink(dir.file("desk/大会.xlsx")));
}

TEST(SheetSave, KeepsThePermissionsOfTheFile) {
    testsupport::TempDir dir;
    const std::string path = dir.file("p.xlsx");
    auto wb = MakeAndOpen(path);
    ASSERT_EQ(chmod(path.c_str(), 0640), 0);
    wb->worksheet(1)->setNumber(1, 1, 1);
    ASSERT_TRUE(wb->save().ok);
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST(SheetSave, ChangesMadeByAnotherProgramAreNotOverwritten) {
    testsupport::TempDir dir;
    const std::string path = dir.file("book.xlsx");
    auto wb = MakeAndOpen(path);
    wb->worksheet(1)->setText(2, 2, "mine");
    ASSERT_TRUE(wb->save().ok);

    // Another program saves the file; a name "book (2).xlsx" is taken already.
    sheet::FileFault fault;
    {
        auto other = Workbook::open(path, &fault);
        other->worksheet(1)->setText(2, 2, "theirs");
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        ASSERT_TRUE(other->save().ok);
    }
    sheettest::WriteFile(dir.file("book (2).xlsx"), "someone else's");
    const std::string theirs = ReadFile(path);

    wb->worksheet(1)->setText(3, 2, "second");
    SaveResult r = wb->save();
    ASSERT_TRUE(r.ok) << r;
    EXPECT_TRUE(r.savedUnderNewName);
    EXPECT_EQ(r.savedPath, dir.file("book (3).xlsx"));
    EXPECT_EQ(testsupport::Message(r),
              "ファイル「book.xlsx」はほかのプログラムで変更されていたため上書きせず、「book "
              "(3).xlsx」として保存しました。");
    EXPECT_EQ(ReadFile(path), theirs);
    EXPECT_EQ(ReadFile(dir.file("book (2).xlsx")), "someone else's");
    EXPECT_EQ(CellAfterReopen(r.savedPath, 2, 2), "mine");
    EXPECT_EQ(CellAfterReopen(r.savedPath, 3, 2), "second");

    // From now on the workbook lives in the new file.
    EXPECT_EQ(wb->path(), r.savedPath);
    wb->worksheet(1)->setText(4, 2, "third");
    SaveResult again = wb->save();
    ASSERT_TRUE(again.ok) << again;
    EXPECT_FALSE(again.savedUnderNewName);
    EXPECT_EQ(CellAfterReopen(r.savedPath, 4, 2), "third");
    EXPECT_EQ(ReadFile(path), theirs);
}

// Another program saves over the file in the very instant after this program read it, or after
// this program's save was renamed into place: the file is known as changed all the same, and
// the next save does not overwrite it.
TEST(SheetSave, AReplacementJustAfterReadingOrSavingIsNoticed) {
    testsupport::TempDir dir;
    const std::string path = dir.file("book.xlsx");
    MakeAndOpen(path);
    const std::string theirs = ReadFile(path);
    struct HookGuard {
        ~HookGuard() { detail::fileDoneForTesting() = nullptr; }
    } guard;
    auto replaceOnce = [&] {
        detail::fileDoneForTesting() = [&](const std::string& done) {
            if (done != path) return;
            detail::fileDoneForTesting() = nullptr;
            sheettest::WriteFile(path + ".new", theirs);
            std::filesystem::rename(path + ".new", path);
        };
    };
    sheet::FileFault fault;
    for (const bool atSave : {false, true}) {
        if (!atSave) replaceOnce();
        auto wb = Workbook::open(path, &fault);
        ASSERT_TRUE(wb) << fault;
        wb->worksheet(1)->setText(2, 2, "mine");
        if (atSave) {
            replaceOnce();
            ASSERT_TRUE(wb->save().ok);
        }
        EXPECT_TRUE(wb->changedOnDisk()) << (atSave ? "after the save" : "after the read");
        wb->worksheet(1)->setText(3, 2, "more");
        const SaveResult r = wb->save();
        ASSERT_TRUE(r.ok) << r;
        EXPECT_TRUE(r.savedUnderNewName);
        EXPECT_EQ(ReadFile(path), theirs);
    }
}

TEST(SheetSave, AFailedSaveLeavesTheFileWholeAndTheNextSaveWritesEverything) {
    for (auto fault : {Workbook::SaveFault::DuringWrite, Workbook::SaveFault::AfterTempWritten}) {
        FaultGuard guard;
        testsupport::TempDir dir;
        const std::string path = dir.file("book.xlsx");
        auto wb = MakeAndOpen(path);
        wb->worksheet(1)->setNumber(2, 5, 1);
        ASSERT_TRUE(wb->save().ok);
        const std::string before = ReadFile(path);

        wb->worksheet(1)->setNumber(3, 5, 2);
        wb->worksheet(2)->setFontSize(1, 5, 24);
        Workbook::setSaveFaultForTesting(fault);
        SaveResult failed = wb->save();
        EXPECT_FALSE(failed.ok);
        EXPECT_NE(testsupport::Message(failed).find("ファイル「book.xlsx」を保存できませんでした"),
                  std::string::npos)
            << failed;
        EXPECT_EQ(ReadFile(path), before);
        EXPECT_EQ(Listing(dir.path()),
                  (std::vector<std::string>{"book.xlsx", "book.xlsx.bak"}));  // no temporary left
        EXPECT_TRUE(wb->hasUnsavedChanges());

        Workbook::setSaveFaultForTesting(Workbook::SaveFault::None);
        ASSERT_TRUE(wb->save().ok);
        EXPECT_EQ(CellAfterReopen(path, 2, 5), "1");
        EXPECT_EQ(CellAfterReopen(path, 3, 5), "2");
        sheet::FileFault fault;
        auto back = Workbook::open(path, &fault);
        EXPECT_DOUBLE_EQ(back->worksheet(2)->fontSize(1, 5), 24);
    }
}

TEST(SheetSave, AFolderThatCannotBeWrittenFailsCleanly) {
    testsupport::TempDir dir;
    const std::string folder = dir.file("race");
    std::filesystem::create_directory(folder);
    const std::string path = folder + "/book.xlsx";
    auto wb = MakeAndOpen(path);
    wb->worksheet(1)->setText(2, 2, "kept");

    // The folder disappears behind the program's back (a pulled USB stick, say), and a plain
    // file stands where it was: nothing can be written there, whoever runs the test.
    ASSERT_EQ(rename(folder.c_str(), (folder + "-away").c_str()), 0);
    sheettest::WriteFile(folder, "not a folder");
    SaveResult failed = wb->save();
    EXPECT_FALSE(failed.ok);
    EXPECT_NE(testsupport::Message(failed).find("保存できませんでした"), std::string::npos)
        << failed;
    EXPECT_NE(testsupport::Message(failed).find("次の保存で再び書き込みます"), std::string::npos)
        << failed;

    std::filesystem::remove(folder);
    ASSERT_EQ(rename((folder + "-away").c_str(), folder.c_str()), 0);
    SaveResult ok = wb->save();
    ASSERT_TRUE(ok.ok) << ok;
    EXPECT_EQ(CellAfterReopen(path, 2, 2), "kept");

    if (geteuid() != 0) {  // root writes anywhere, so only others can test permissions
        wb->worksheet(1)->setText(3, 2, "later");
        ASSERT_EQ(chmod(folder.c_str(), 0555), 0);
        SaveResult denied = wb->save();
        EXPECT_FALSE(denied.ok);
        EXPECT_NE(testsupport::Message(denied).find("権限"), std::string::npos) << denied;
        chmod(folder.c_str(), 0755);
    }
}

// A worksheet large enough to be deflated in pieces, saved again and again with edits at its
// start, in its middle, at its end, in two places far apart, past its end, and with it cut down
// to nothing and filled again: after every save each cell reads back from the file as last written.
TEST(SheetSave, ALargeSheetSavedAgainAndAgainReadsBackWhole) {
    const unsigned seed = 20261209;
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    testsupport::TempDir dir;
    const std::string path = dir.file("large.xlsx");
    auto wb = MakeAndOpen(path);
    Worksheet* in = wb->worksheet(1);
    std::map<std::pair<int, int>, std::string> cells;
    auto set = [&](int row, int col) {
        const std::string text = "r" + std::to_string(row) + "c" + std::to_string(col) + "v" +
                                 std::to_string(random() % 100000);
        in->setText(row, col, text);
        cells[{row, col}] = text;
    };
    auto fill = [&] {
        for (int row = 1; row <= 3000; ++row)
            for (int col = 1; col <= 4; ++col) set(row, col);
    };
    fill();

    struct Step {
        const char* what;
        std::function<void()> edit;
    };
    auto anyRow = [&] { return 1 + static_cast<int>(random() % 3000); };
    const std::vector<Step> steps = {
        {"one cell in the middle", [&] { set(anyRow(), 2); }},
        {"the first cell", [&] { set(1, 1); }},
        {"the last cell", [&] { set(3000, 4); }},
        {"two rows far apart",
         [&] {
             set(3, 3);
             set(2990, 1);
         }},
        {"rows past the end",
         [&] {
             set(3001, 1);
             set(3100, 2);
         }},
        {"everything cleared",
         [&] {
             in->clearContents();
             cells.clear();
             set(5, 5);
         }},
        {"filled again", fill},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        step.edit();
        SaveResult r = wb->save();
        ASSERT_TRUE(r.ok) << r;
        sheet::FileFault fault;
        auto back = Workbook::open(path, &fault);
        ASSERT_TRUE(back) << fault;
        int wrong = 0;
        for (const auto& [at, text] : cells)
            if (back->worksheet(1)->text(at.first, at.second) != text && ++wrong <= 3)
                ADD_FAILURE() << "row " << at.first << " column " << at.second;
        EXPECT_EQ(back->worksheet(1)->lastRowWithValue(), cells.rbegin()->first.first);
    }
}
