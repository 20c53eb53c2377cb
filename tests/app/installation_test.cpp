// Where the program finds its own files, for the layouts it is run from.

#include "app/Installation.h"

#include <gtest/gtest.h>

#include <QFileInfo>
#include <filesystem>

#include "support/TestFiles.h"

namespace {

namespace fs = std::filesystem;

QString Canonical(const std::string& path) {
    return QFileInfo(QString::fromStdString(path)).canonicalFilePath();
}

struct Layout {
    const char* name;
    std::vector<std::string> folders;                        // made under a fresh root
    std::vector<std::pair<std::string, std::string>> links;  // link → target, under the root
    std::string executableFolder;  // under the root; "" for no application
    std::string expected;          // under the root; "" for the source tree's examples
};

TEST(DataFolder, FoundBesideTheInstalledProgramElseInTheSourceTree) {
    const Layout layouts[] = {
        {"installed in /usr",
         {"usr/bin", "usr/share/zalvik-race"},
         {},
         "usr/bin",
         "usr/share/zalvik-race"},
        {"installed under a prefix of the user's",
         {"home/kakari/.local/bin", "home/kakari/.local/share/zalvik-race",
          "usr/share/zalvik-race"},
         {},
         "home/kakari/.local/bin",
         "home/kakari/.local/share/zalvik-race"},
        // Debian's /bin is a link to /usr/bin: ".." must be taken on the disk, not in the text.
        {"started through a linked bin folder",
         {"usr/bin", "usr/share/zalvik-race"},
         {{"bin", "usr/bin"}},
         "bin",
         "usr/share/zalvik-race"},
        {"share without the program's folder",
         {"opt/race/bin", "opt/race/share/other"},
         {},
         "opt/race/bin",
         ""},
        {"build tree", {"work/build/tests"}, {}, "work/build/tests", ""},
        {"no application object", {}, {}, "", ""},
    };
    const QString sourceExamples = Canonical(PROJECT_SOURCE_DIR "/examples");
    ASSERT_FALSE(sourceExamples.isEmpty());
    for (const Layout& layout : layouts) {
        SCOPED_TRACE(layout.name);
        testsupport::TempDir dir;
        for (const std::string& f : layout.folders) fs::create_directories(dir.file(f));
        for (const auto& [link, target] : layout.links)
            fs::create_directory_symlink(dir.file(target), dir.file(link));
        const QString exe = layout.executableFolder.empty()
                                ? QString()
                                : QString::fromStdString(dir.file(layout.executableFolder));
        const QString expected =
            layout.expected.empty() ? sourceExamples : Canonical(dir.file(layout.expected));
        EXPECT_EQ(zalvik::DataFolderFor(exe).toStdString(), expected.toStdString());
    }
}

}  // namespace
