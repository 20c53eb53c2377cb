#pragma once
// The style part: cell formats (xf records) and the fonts, fills, borders and number formats they
// point at. Many cells share one xf, so a change to one cell's format makes a changed copy of its
// xf (or reuses an identical one that already exists) and never edits a shared record.

#include <map>
#include <pugixml.hpp>
#include <string>
#include <string_view>
#include <tuple>
#include <unordered_map>
#include <vector>

#include "sheet/Workbook.h"

namespace sheet::detail {

class StyleSheet {
  public:
    // Takes over a parsed style part.
    explicit StyleSheet(pugi::xml_document&& doc);
    static std::string MinimalXml();

    pugi::xml_document& doc() { return doc_; }
    bool dirty() const { return dirty_; }
    void markClean() { dirty_ = false; }

    int xfCount() const { return static_cast<int>(xfs_.size()); }
    bool isDate(int s);
    std::string numberFormatCode(int s) const;
    double fontSize(int s) const;
    bool isCenter(int s) const;
    bool isBottomDouble(int s) const;
    Fill fill(int s) const;
    bool hasFill(int s) const;  // any fill other than none
    // Width in pixels of a digit of the workbook's standard font, which column widths count in.
    int maxDigitWidth() const;

    // Each returns the index of an xf like `s` with one thing changed.
    int withNumberFormat(int s, std::string_view code);
    int withFontSize(int s, double points);
    int withCenter(int s);
    int withBottomDouble(int s);
    int withFill(int s, Fill fill);

  private:
    enum Op { kNumFmt, kFontSize, kCenter, kBottom, kFill };
    template <class Edit>
    int derive(int s, Op op, const std::string& arg, Edit edit);
    void ensureBasics();
    pugi::xml_node xf(int s) const;
    int numFmtIdFor(std::string_view code);
    int addUnique(pugi::xml_node list, std::vector<pugi::xml_node>& nodes,
                  std::unordered_map<std::string, int>& byKey, pugi::xml_node candidate);
    int attrInt(pugi::xml_node n, const char* name) const;

    pugi::xml_document doc_;
    bool dirty_ = false;
    pugi::xml_node root_, numFmts_, fonts_, fills_, borders_, cellXfs_;
    std::vector<pugi::xml_node> xfs_, fontNodes_, fillNodes_, borderNodes_;
    std::map<int, std::string> customCodes_;
    std::unordered_map<std::string, int> xfByKey_, fontByKey_, fillByKey_, borderByKey_;
    bool keysBuilt_ = false;
    std::map<std::tuple<int, int, std::string>, int> memo_;
    std::vector<signed char> dateCache_;
};

}  // namespace sheet::detail
