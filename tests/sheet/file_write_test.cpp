// The two routines every file of the program is written through: a new file appears whole with
// its heading, a line cut short by a crash is closed before the next one, and what is not a
// regular file is refused without being written to.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "sheet/FileWrite.h"
#include "sheet/SheetTestSupport.h"
#include "support/TestFiles.h"

namespace {

// Through a symbolic link that points to a name as long as a folder takes (85 kanji), not there
// yet: the file it names is made, and the link stays a link.
TEST(FileWrite, AppendCreatesWithHeadingThenEndsACutLine) {
    testsupport::TempDir dir;
    const std::string path = dir.file("log.csv");
    std::string longest;
    for (int i = 0; i < 85; ++i) longest += "記";
    std::filesystem::create_symlink(longest, path);
    int e = 0;
    ASSERT_TRUE(sheet::AppendToFile(path, "a\r\n", "head\r\n", "\r\n", &e)) << e;
    ASSERT_TRUE(sheet::AppendToFile(path, "b\r\n", "head\r\n", "\r\n", &e)) << e;
    EXPECT_EQ(sheettest::ReadFile(path), "head\r\na\r\nb\r\n");

    // A crash cut the last line: the next line starts on its own, the cut one stays as it was.
    ASSERT_TRUE(sheet::WriteFileSafely(path, "head\r\nc,取", &e)) << e;
    ASSERT_TRUE(sheet::AppendToFile(path, "d\r\n", "head\r\n", "\r\n", &e)) << e;
    EXPECT_EQ(sheettest::ReadFile(path), "head\r\nc,取\r\nd\r\n");

    EXPECT_EQ(sheettest::ReadFile(dir.file(longest)), "head\r\nc,取\r\nd\r\n");
    EXPECT_TRUE(std::filesystem::is_symlink(path));

    // Only the temporary files' names never remain.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                            std::filesystem::directory_iterator()),
              2);
}

TEST(FileWrite, RefusesWhatIsNotARegularFile) {
    testsupport::TempDir dir;
    int e = 0;
    std::filesystem::create_directory(dir.file("folder"));
    EXPECT_FALSE(sheet::AppendToFile(dir.file("folder"), "x\n", "", "\r\n", &e));
    EXPECT_EQ(e, EISDIR);
    ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
    EXPECT_FALSE(sheet::AppendToFile(dir.file("fifo"), "x\n", "", "\r\n", &e));
    EXPECT_EQ(e, ENODEV);
    EXPECT_FALSE(sheet::WriteFileSafely(dir.file("missing/x.txt"), "x", &e));
    EXPECT_EQ(e, ENOENT);
    // Nor through a link into a missing folder (nothing is made), nor a loop of links.
    std::filesystem::create_symlink("missing/x.txt", dir.file("dangling"));
    EXPECT_FALSE(sheet::WriteFileSafely(dir.file("dangling"), "x", &e));
    std::filesystem::create_symlink("loop", dir.file("loop"));
    EXPECT_FALSE(sheet::AppendToFile(dir.file("loop"), "x\n", "", "\n", &e));
    EXPECT_EQ(e, ELOOP);
}

}  // namespace
