#pragma once
// What the benchmark programs share: the benchmark workbook that the bench program writes beside
// itself at start-up (999 competitors, 12 gates, 9 classes), and the application object that
// screens and fonts need.

#include <QApplication>
#include <filesystem>
#include <system_error>

namespace benchsupport {

// bench.xlsx beside the running bench program.
inline std::filesystem::path BenchWorkbook() {
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return (ec ? std::filesystem::current_path() : exe.parent_path()) / "bench.xlsx";
}

// Makes the application object once; another benchmark may have made it already.
inline void EnsureApplication() {
    if (QCoreApplication::instance()) return;
    static int argc = 1;
    static char name[] = "zalvik-bench";
    static char* argv[] = {name, nullptr};
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication app(argc, argv);
}

}  // namespace benchsupport
