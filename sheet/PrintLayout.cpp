// The parts of the worksheet a printout needs: the fit-to-width page setup and the sizes of
// rows and columns as the spreadsheet program draws them.

#include <algorithm>
#include <cmath>
#include <string>

#include "sheet/Internal.h"
#include "sheet/Xml.h"

namespace sheet {

using namespace detail;

namespace {

constexpr std::string_view kSheetPrOrderList[] = {"tabColor", "outlinePr", "pageSetUpPr"};
const Order kSheetPrOrder{kSheetPrOrderList};

void Set(pugi::xml_node n, const char* name, const char* value) {
    pugi::xml_attribute a = n.attribute(name);
    if (!a) a = n.append_attribute(name);
    a.set_value(value);
}

bool IsOn(pugi::xml_attribute a) {
    std::string_view v = a.value();
    return v == "1" || v == "true";
}

// Pixels at 96 DPI to points.
constexpr double kPointsPerPixel = 0.75;

}  // namespace

void Worksheet::setFitToPageWidth() {
    // Other page settings of the user's (paper size, orientation, printer settings) stay.
    pugi::xml_node pr = EnsureChild(d_->root, "sheetPr", kWorksheetOrder);
    Set(EnsureChild(pr, "pageSetUpPr", kSheetPrOrder), "fitToPage", "1");
    pugi::xml_node setup = EnsureChild(d_->root, "pageSetup", kWorksheetOrder);
    Set(setup, "fitToWidth", "1");
    Set(setup, "fitToHeight", "0");
    d_->part.dirty = true;
}

bool Worksheet::fitsToPageWidth() const {
    pugi::xml_node pr = Child(Child(d_->root, "sheetPr"), "pageSetUpPr");
    pugi::xml_node setup = Child(d_->root, "pageSetup");
    // Both counts default to 1 when absent.
    return IsOn(pr.attribute("fitToPage")) && setup.attribute("fitToWidth").as_int(1) == 1 &&
           setup.attribute("fitToHeight").as_int(1) == 0;
}

int Worksheet::lastRowWithValue() const {
    for (auto it = d_->rows.rbegin(); it != d_->rows.rend(); ++it)
        for (const auto& [col, cell] : it->second.cells)
            if (!value(it->first, col).isEmpty()) return it->first;
    return 0;
}

double Worksheet::columnWidthPoints(int col) const {
    StyleSheet* st = d_->book->stylesForRead();
    const int mdw = st ? st->maxDigitWidth() : 7;
    double stored = 0;
    pugi::xml_node cols = Child(d_->root, "cols");
    for (pugi::xml_node c = cols.first_child(); c; c = c.next_sibling()) {
        if (!IsLocal(c, "col")) continue;
        if (c.attribute("min").as_int() <= col && col <= c.attribute("max").as_int()) {
            if (IsOn(c.attribute("hidden"))) return 0;
            stored = c.attribute("width").as_double(0);
            break;
        }
    }
    pugi::xml_node format = Child(d_->root, "sheetFormatPr");
    if (stored <= 0) stored = format.attribute("defaultColWidth").as_double(0);
    if (stored > 0) {
        // The stored width counts digits with the cell padding included.
        const double pixels = std::floor((256 * stored + std::floor(128.0 / mdw)) / 256 * mdw);
        return pixels * kPointsPerPixel;
    }
    // The default: a number of digits plus the padding, rounded up to whole 8 pixels.
    const int base = std::max(0, format.attribute("baseColWidth").as_int(8));
    const int pixels = (base * mdw + 5 + 7) / 8 * 8;
    return pixels * kPointsPerPixel;
}

double Worksheet::rowHeightPoints(int row) const {
    auto it = d_->rows.find(row);
    if (it != d_->rows.end()) {
        pugi::xml_node r = it->second.node;
        if (IsOn(r.attribute("hidden"))) return 0;
        if (double ht = r.attribute("ht").as_double(0); ht > 0) return ht;
    }
    pugi::xml_node format = Child(d_->root, "sheetFormatPr");
    if (double ht = format.attribute("defaultRowHeight").as_double(0); ht > 0) return ht;
    // Without a default of the sheet's own, the standard font decides: 15 points for the Latin
    // default font, 13.5 for the Japanese ones.
    StyleSheet* st = d_->book->stylesForRead();
    return st && st->maxDigitWidth() == 8 ? 13.5 : 15;
}

}  // namespace sheet
