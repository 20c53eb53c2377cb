// Speed of the workbook file layer on a race-sized workbook: 999 competitors, two thirds with
// results, 12 gates, 9 classes and the settings block. bench/peer.py does the same work with
// openpyxl on the same file; `make bench` prints both and the ratios.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "bench/BenchSupport.h"
#include "sheet/Workbook.h"
#include "store/FileMessages.h"

namespace {

constexpr int kCompetitors = 999;
constexpr int kGates = 12;
constexpr int kClasses = 9;

std::string& BenchPath() {
    static std::string path;
    return path;
}

// Writes the benchmark workbook through the layer itself.
bool MakeBenchWorkbook(const std::string& path) {
    sheet::FileFault fault;
    if (!sheet::Workbook::createEmpty(path, {"入力", "成績"}, &fault)) {
        std::fprintf(stderr, "%s\n", zalvik::store::FileFaultMessage(fault).toUtf8().constData());
        return false;
    }
    auto book = sheet::Workbook::open(path, &fault);
    if (!book) return false;
    sheet::Worksheet* ws = book->worksheet(1);
    const char* headers[] = {"Zno",    " 氏　　名", "　所　　　　　属", "性別",
                             "タイム", "ﾌﾞｲﾎﾟｲﾝﾄ",  "ﾚｰｽﾎﾟｲﾝﾄ",         "DSFQ"};
    for (int c = 1; c <= 8; ++c) ws->setText(1, c, headers[c - 1]);
    for (int g = 1; g <= kGates; ++g) ws->setText(1, 8 + g, "VP" + std::to_string(g));
    const char* settingsHeaders[] = {"判別名", "得点", "ｹﾞｰﾄ数", "ﾌﾞｲ数", "大会名称"};
    for (int c = 21; c <= 25; ++c) ws->setText(1, c, settingsHeaders[c - 21]);
    ws->setText(1, 26, "第12回ミルネ温泉カップ");

    const int scores[] = {2, 3, 4, 5, 6};
    for (int i = 1; i <= kCompetitors; ++i) {
        const int r = i + 1;
        ws->setNumber(r, 1, i);
        ws->setText(r, 2, "選手　" + std::to_string(i));
        ws->setText(r, 3, "クラブ" + std::to_string(i % 37));
        ws->setNumber(r, 4, 1 + i % kClasses);
        if (i % 3 == 0) continue;  // a third have no result yet
        int points = 0;
        for (int g = 0; g < kGates; ++g) {
            int s = scores[(i + g) % 5];
            points += s;
            ws->setText(r, 9 + g, std::to_string(s));
        }
        const double time = 55 + (i * 7919 % 3000) / 100.0;
        ws->setNumberFormat(r, 5, "0.00");
        ws->setNumber(r, 5, time);
        ws->setNumber(r, 6, points);
        ws->setNumberFormat(r, 7, "0.00");
        ws->setNumber(r, 7, std::floor(time * 10000.0 / points + 0.5) / 100.0);
        ws->setInteger(r, 8, i % 50 == 0 ? 1 : 0);
    }
    const char* buoys[] = {"あ", "い", "う", "え", "お"};
    for (int k = 1; k <= 5; ++k) {
        ws->setText(k + 1, 21, buoys[k - 1]);
        ws->setNumber(k + 1, 22, scores[k - 1]);
    }
    ws->setText(2, 23, std::to_string(kGates));
    for (int g = 1; g <= kGates; ++g) ws->setNumber(g + 1, 24, 5);
    ws->setText(2, 25, "大会場所");
    ws->setText(3, 25, "開催日");
    ws->setText(4, 25, "結果ｼｰﾄ");
    ws->setText(2, 26, "ミルネ温泉スキー場");
    ws->setDate(3, 26, {2026, 2, 15});
    ws->setNumber(2, 27, kClasses);
    for (int k = 1; k <= kClasses; ++k) ws->setText(k + 1, 28, "クラス" + std::to_string(k));
    sheet::SaveResult r = book->save();
    std::remove((path + ".bak").c_str());
    if (!r.ok) std::fprintf(stderr, "%s\n", zalvik::store::SaveMessage(r).toUtf8().constData());
    return r.ok;
}

// Open the file and read every competitor cell and every settings cell, as loading does.
void BM_OpenAndReadCompetitors(benchmark::State& state) {
    size_t chars = 0;
    for (auto _ : state) {
        auto book = sheet::Workbook::open(BenchPath(), nullptr);
        sheet::Worksheet* ws = book ? book->worksheet(1) : nullptr;
        if (!ws) {
            state.SkipWithError("cannot open the benchmark workbook");
            return;
        }
        for (int r = 2; r <= kCompetitors + 1; ++r)
            for (int c = 1; c <= 20; ++c) chars += ws->text(r, c).size();
        for (int r = 1; r <= 13; ++r)
            for (int c = 21; c <= 28; ++c) chars += ws->text(r, c).size();
    }
    benchmark::DoNotOptimize(chars);
}

// Write one competitor's result row as the register action does, then save the file.
void BM_RegisterRowAndSave(benchmark::State& state) {
    auto book = sheet::Workbook::open(BenchPath(), nullptr);
    sheet::Worksheet* ws = book ? book->worksheet(1) : nullptr;
    if (!ws) {
        state.SkipWithError("cannot open the benchmark workbook");
        return;
    }
    int i = 0;
    for (auto _ : state) {
        const int r = 2 + (i++ * 3) % kCompetitors;
        ws->setNumberFormat(r, 5, "0.00");
        ws->setNumber(r, 5, 61.5);
        ws->setNumber(r, 6, 48);
        ws->setNumberFormat(r, 7, "0.00");
        ws->setNumber(r, 7, 128.13);
        ws->setInteger(r, 8, 0);
        for (int g = 0; g < kGates; ++g) ws->setText(r, 9 + g, std::to_string(2 + g % 5));
        sheet::SaveResult saved = book->save();
        if (!saved.ok) {
            state.SkipWithError(zalvik::store::SaveMessage(saved).toStdString().c_str());
            return;
        }
    }
}

BENCHMARK(BM_OpenAndReadCompetitors)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RegisterRowAndSave)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

double PeakMemoryAfterLoadMb();

int main(int argc, char** argv) {
    // The workbook lives beside the program, where `make bench` hands it to the peer script.
    BenchPath() = benchsupport::BenchWorkbook().string();
    if (!MakeBenchWorkbook(BenchPath())) return 1;
    if (argc > 1 && std::string(argv[1]) == "--peak-memory") {
        const double mb = PeakMemoryAfterLoadMb();
        std::printf("peak memory with the benchmark competition loaded: %.1f MB (target 120 MB)\n",
                    mb);
        std::remove((BenchPath() + ".bak").c_str());
        benchsupport::DestroyApplication();
        return mb > 0 ? 0 : 1;
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    benchsupport::DestroyApplication();
    // The benchmark saved over the file; the peer reads the same file afterwards.
    std::remove((BenchPath() + ".bak").c_str());
    return 0;
}
