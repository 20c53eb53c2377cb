#pragma once
// What the benchmark programs share: the benchmark workbook that the bench program writes beside
// itself at start-up (999 competitors, 12 gates, 9 classes), and the application object that
// screens and fonts need.

#include <QApplication>
#include <QLineEdit>
#include <QRadioButton>
#include <filesystem>
#include <system_error>

#include "support/Controls.h"

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

// Fills the processing screen's entry panel with run number i of a benchmark race, through its
// controls as an official would: bib 1 + 3i (mod 999), status OK, 1 min and 1..50.25 s, a buoy
// at each of the 12 gates.
inline void EnterRun(QWidget& screen, int i) {
    using testsupport::Find;
    Find<QLineEdit>(screen, QStringLiteral("ゼッケン"))
        ->setText(QString::number(1 + (i * 3) % 999));
    Find<QRadioButton>(screen, QStringLiteral("DSFQ"), 0)->click();
    Find<QLineEdit>(screen, QStringLiteral("分"))->setText(QStringLiteral("1"));
    Find<QLineEdit>(screen, QStringLiteral("秒"))
        ->setText(QString::number(1 + i % 50) + QStringLiteral(".25"));
    for (int g = 0; g < 12; ++g) {
        Find<QRadioButton>(screen, QStringLiteral("Gop"), g)->click();
        Find<QRadioButton>(screen, QStringLiteral("ブイ"), (i + g) % 5)->click();
    }
}

}  // namespace benchsupport
