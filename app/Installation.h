#pragma once
// What the program knows about itself: its version, and the folder of its own files (the
// example workbook), both when it runs from the build tree and when it is installed.

#include <QString>

namespace zalvik {

// The program's version, e.g. "0.92"; the build takes it from the project's version.
QString ProgramVersion();

// What `zalvik-race --version` prints: the program's name and its version.
QString VersionLine();

// Whether the command line asks for the version. No other argument means anything to the
// program: it is not even handed to Qt.
bool AsksForVersion(int argc, const char* const* argv);

// The folder of the program's own files for an executable in executableFolder: share/zalvik-race
// beside the executable's bin folder when it is installed (/usr/bin → /usr/share/zalvik-race),
// otherwise the examples folder of the source tree the program was built from (absent in a
// packaged build). Empty when neither exists.
QString DataFolderFor(const QString& executableFolder);

// The same for the running program (needs the application object).
QString DataFolder();

}  // namespace zalvik
