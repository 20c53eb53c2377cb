#include "app/Installation.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <cstring>

namespace zalvik {

QString ProgramVersion() { return QStringLiteral(ZALVIK_VERSION); }

QString VersionLine() { return QStringLiteral("zalvik-race ") + ProgramVersion(); }

bool AsksForVersion(int argc, const char* const* argv) {
    for (int i = 1; i < argc; ++i)
        if (argv[i] && std::strcmp(argv[i], "--version") == 0) return true;
    return false;
}

QString DataFolderFor(const QString& executableFolder) {
    const QFileInfo installed(executableFolder + QStringLiteral("/../share/zalvik-race"));
    if (!executableFolder.isEmpty() && installed.isDir()) return installed.canonicalFilePath();
#ifdef ZALVIK_SOURCE_DATA_FOLDER
    // A build that was not made for a package still runs from its build tree, where the files
    // are in the source checkout it was built from.
    const QFileInfo source(QStringLiteral(ZALVIK_SOURCE_DATA_FOLDER));
    if (source.isDir()) return source.canonicalFilePath();
#endif
    return {};
}

QString DataFolder() { return DataFolderFor(QCoreApplication::applicationDirPath()); }

}  // namespace zalvik
