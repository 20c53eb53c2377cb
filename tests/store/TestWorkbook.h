#pragma once
// Builds input sheets for the loader's tests through the workbook layer itself: a fresh
// two-sheet workbook, filled cell by cell with the layout's helpers, then saved.

#include <QString>
#include <initializer_list>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "sheet/Workbook.h"
#include "store/ExampleData.h"
#include "store/FileMessages.h"
#include "store/InputSheet.h"

namespace testsupport {

class TestWorkbook {
  public:
    explicit TestWorkbook(std::string path) : path_(std::move(path)) {
        sheet::FileFault fault;
        if (!sheet::Workbook::createEmpty(path_, {"入力", "成績"}, &fault))
            throw std::runtime_error(zalvik::store::FileFaultMessage(fault).toStdString());
        wb_ = sheet::Workbook::open(path_, &fault);
        if (!wb_) throw std::runtime_error(zalvik::store::FileFaultMessage(fault).toStdString());
        ws_ = wb_->worksheet(1);
    }

    const std::string& path() const { return path_; }
    QString qpath() const { return QString::fromStdString(path_); }
    sheet::Worksheet& ws() { return *ws_; }

    TestWorkbook& text(int r, int c, const QString& t) {
        ws_->setText(r, c, t.toStdString());
        return *this;
    }
    TestWorkbook& num(int r, int c, double v) {
        ws_->setNumber(r, c, v);
        return *this;
    }
    TestWorkbook& date(int r, int c, int y, int m, int d) {
        ws_->setDate(r, c, sheet::Date{y, m, d});
        return *this;
    }

    // Competitor i (row i + 1): bib, name, affiliation and class number.
    TestWorkbook& competitor(int i, double bib, const QString& name, double classNo = 1,
                             const QString& affiliation = QStringLiteral("所属")) {
        num(i + 1, zalvik::store::kColBib, bib);
        text(i + 1, zalvik::store::kColName, name);
        text(i + 1, zalvik::store::kColAffiliation, affiliation);
        return num(i + 1, zalvik::store::kColClass, classNo);
    }
    // A stored run of competitor i: time, buoy points, race points, status, gate points.
    TestWorkbook& result(int i, double time, double buoyPoints, double racePoints, int status = 0,
                         std::initializer_list<const char*> gates = {}) {
        num(i + 1, zalvik::store::kColRunTime, time);
        num(i + 1, zalvik::store::kColBuoyPoints, buoyPoints);
        num(i + 1, zalvik::store::kColRacePoints, racePoints);
        num(i + 1, zalvik::store::kColStatus, status);
        int g = 0;
        for (const char* p : gates)
            text(i + 1, zalvik::store::kColFirstGate + g++, QString::fromUtf8(p));
        return *this;
    }
    // Buoys あ..お scoring 2..6, the gate count as text with its buoy counts, the competition
    // details and the class names.
    TestWorkbook& settings(const QString& gateText, std::vector<int> gateBuoys,
                           std::vector<QString> classes) {
        const char* names[] = {"あ", "い", "う", "え", "お"};
        for (int k = 1; k <= 5; ++k) {
            text(k + 1, zalvik::store::kColBuoyName, QString::fromUtf8(names[k - 1]));
            num(k + 1, zalvik::store::kColBuoyScore, k + 1);
        }
        text(2, zalvik::store::kColGateCount, gateText);
        for (size_t g = 0; g < gateBuoys.size(); ++g)
            num(static_cast<int>(g) + 2, zalvik::store::kColGateBuoys, gateBuoys[g]);
        text(1, zalvik::store::kColEvent, QStringLiteral("テスト大会"));
        text(2, zalvik::store::kColEvent, QStringLiteral("テスト会場"));
        num(2, zalvik::store::kColClassCount, static_cast<double>(classes.size()));
        for (size_t k = 0; k < classes.size(); ++k)
            text(static_cast<int>(k) + 2, zalvik::store::kColClassName, classes[k]);
        return *this;
    }

    // Every cell of the example input sheet.
    TestWorkbook& example() {
        using zalvik::example::Cell;
        for (const Cell& c : zalvik::example::InputSheetCells()) {
            switch (c.kind) {
                case Cell::Kind::Text:
                    text(c.row, c.col, c.text);
                    break;
                case Cell::Kind::Number:
                    num(c.row, c.col, c.number);
                    break;
                case Cell::Kind::Date:
                    date(c.row, c.col, c.year, c.month, c.day);
                    break;
            }
            if (!c.numberFormat.isEmpty())
                ws_->setNumberFormat(c.row, c.col, c.numberFormat.toStdString());
        }
        return *this;
    }

    void save() {
        const sheet::SaveResult r = wb_->save();
        if (!r.ok) throw std::runtime_error(zalvik::store::SaveMessage(r).toStdString());
    }

  private:
    std::string path_;
    std::unique_ptr<sheet::Workbook> wb_;
    sheet::Worksheet* ws_ = nullptr;
};

}  // namespace testsupport
