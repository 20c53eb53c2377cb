#include "sheet/Styles.h"

#include <algorithm>

#include "sheet/Format.h"
#include "sheet/Xml.h"
#include "sheet/Zip.h"

namespace sheet::detail {

namespace {

constexpr std::string_view kFontOrder[] = {"b",       "i",      "strike", "condense",  "extend",
                                           "outline", "shadow", "u",      "vertAlign", "sz",
                                           "color",   "name",   "family", "charset",   "scheme"};
constexpr std::string_view kXfOrder[] = {"alignment", "protection", "extLst"};
constexpr std::string_view kBorderOrder[] = {"start",  "left",     "end",      "right",     "top",
                                             "bottom", "diagonal", "vertical", "horizontal"};

struct KeyWriter : pugi::xml_writer {
    std::string out;
    void write(const void* data, size_t size) override {
        out.append(static_cast<const char*>(data), size);
    }
};

std::string NodeKey(pugi::xml_node n) {
    KeyWriter w;
    n.print(w, "", pugi::format_raw);
    return std::move(w.out);
}

void SetAttr(pugi::xml_node n, const char* name, const std::string& value) {
    pugi::xml_attribute a = n.attribute(name);
    if (!a) a = n.append_attribute(name);
    a.set_value(value.c_str());
}

void UpdateCount(pugi::xml_node list) {
    size_t n = 0;
    for (pugi::xml_node c = list.first_child(); c; c = c.next_sibling())
        if (c.type() == pugi::node_element) ++n;
    SetAttr(list, "count", std::to_string(n));
}

std::vector<pugi::xml_node> Elements(pugi::xml_node list, std::string_view local) {
    std::vector<pugi::xml_node> v;
    for (pugi::xml_node c = list.first_child(); c; c = c.next_sibling())
        if (IsLocal(c, local)) v.push_back(c);
    return v;
}

}  // namespace

std::string StyleSheet::MinimalXml() {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
           "<styleSheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
           "<fonts count=\"1\"><font><sz val=\"11\"/><name val=\"ＭＳ Ｐゴシック\"/>"
           "<family val=\"3\"/><charset val=\"128\"/></font></fonts>"
           "<fills count=\"2\"><fill><patternFill patternType=\"none\"/></fill>"
           "<fill><patternFill patternType=\"gray125\"/></fill></fills>"
           "<borders "
           "count=\"1\"><border><left/><right/><top/><bottom/><diagonal/></border></borders>"
           "<cellStyleXfs count=\"1\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\"/>"
           "</cellStyleXfs>"
           "<cellXfs count=\"1\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\" "
           "xfId=\"0\"/>"
           "</cellXfs>"
           "<cellStyles count=\"1\"><cellStyle name=\"Normal\" xfId=\"0\" "
           "builtinId=\"0\"/></cellStyles>"
           "</styleSheet>";
}

StyleSheet::StyleSheet(pugi::xml_document&& doc) {
    doc_ = std::move(doc);
    root_ = doc_.document_element();
    numFmts_ = Child(root_, "numFmts");
    fonts_ = Child(root_, "fonts");
    fills_ = Child(root_, "fills");
    borders_ = Child(root_, "borders");
    cellXfs_ = Child(root_, "cellXfs");
    xfs_ = Elements(cellXfs_, "xf");
    fontNodes_ = Elements(fonts_, "font");
    fillNodes_ = Elements(fills_, "fill");
    borderNodes_ = Elements(borders_, "border");
    for (pugi::xml_node f : Elements(numFmts_, "numFmt"))
        customCodes_[f.attribute("numFmtId").as_int(-1)] = f.attribute("formatCode").value();
}

int StyleSheet::attrInt(pugi::xml_node n, const char* name) const {
    return n.attribute(name).as_int(0);
}

pugi::xml_node StyleSheet::xf(int s) const {
    if (s >= 0 && s < static_cast<int>(xfs_.size())) return xfs_[s];
    return {};
}

bool StyleSheet::isDate(int s) {
    if (s < 0 || s >= static_cast<int>(xfs_.size())) return false;
    if (dateCache_.size() < xfs_.size()) dateCache_.resize(xfs_.size(), -1);
    signed char& cached = dateCache_[s];
    if (cached < 0) {
        int id = attrInt(xfs_[s], "numFmtId");
        auto it = customCodes_.find(id);
        cached = it != customCodes_.end() ? IsDateFormatCode(it->second) : IsDateFormatId(id);
    }
    return cached != 0;
}

std::string StyleSheet::numberFormatCode(int s) const {
    int id = attrInt(xf(s), "numFmtId");
    auto it = customCodes_.find(id);
    if (it != customCodes_.end()) return it->second;
    if (const char* code = BuiltinFormatCode(id)) return code;
    return "General";
}

double StyleSheet::fontSize(int s) const {
    int id = attrInt(xf(s), "fontId");
    if (id < 0 || id >= static_cast<int>(fontNodes_.size())) return 11;
    pugi::xml_node sz = Child(fontNodes_[id], "sz");
    return sz ? sz.attribute("val").as_double(11) : 11;
}

bool StyleSheet::isCenter(int s) const {
    pugi::xml_node a = Child(xf(s), "alignment");
    return std::string_view(a.attribute("horizontal").value()) == "center";
}

bool StyleSheet::isBottomDouble(int s) const {
    int id = attrInt(xf(s), "borderId");
    if (id < 0 || id >= static_cast<int>(borderNodes_.size())) return false;
    return std::string_view(Child(borderNodes_[id], "bottom").attribute("style").value()) ==
           "double";
}

Fill StyleSheet::fill(int s) const {
    int id = attrInt(xf(s), "fillId");
    if (id <= 0 || id >= static_cast<int>(fillNodes_.size())) return Fill::None;
    pugi::xml_node pf = Child(fillNodes_[id], "patternFill");
    if (std::string_view(pf.attribute("patternType").value()) != "solid") return Fill::None;
    pugi::xml_node fg = Child(pf, "fgColor");
    std::string rgb = ToLowerAscii(fg.attribute("rgb").value());
    bool tan = (rgb.size() >= 6 && rgb.substr(rgb.size() - 6) == "ffcc99") ||
               fg.attribute("indexed").as_int(-1) == 47;
    return tan ? Fill::Tan : Fill::None;
}

bool StyleSheet::hasFill(int s) const {
    int id = attrInt(xf(s), "fillId");
    if (id <= 0 || id >= static_cast<int>(fillNodes_.size())) return false;
    pugi::xml_node pf = Child(fillNodes_[id], "patternFill");
    std::string_view type = pf.attribute("patternType").value();
    return !(pf && (type == "none" || (type.empty() && !Child(pf, "fgColor"))));
}

int StyleSheet::maxDigitWidth() const {
    // The standard font decides the unit of column widths: the Latin default font has 7-pixel
    // digits, the Japanese default fonts 8-pixel ones.
    std::string_view name =
        fontNodes_.empty() ? "" : Child(fontNodes_[0], "name").attribute("val").value();
    for (char c : name)
        if (static_cast<unsigned char>(c) >= 0x80) return 8;
    return 7;
}

void StyleSheet::ensureBasics() {
    const std::string p = PrefixOf(root_);
    auto add = [&](pugi::xml_node list, const char* xml) {
        pugi::xml_document tmp;
        tmp.load_string(xml);
        for (pugi::xml_node c = tmp.first_child(); c; c = c.next_sibling()) {
            pugi::xml_node n = list.append_copy(c);
            if (!p.empty()) {  // give the new elements the prefix the file uses
                std::vector<pugi::xml_node> stack{n};
                while (!stack.empty()) {
                    pugi::xml_node e = stack.back();
                    stack.pop_back();
                    e.set_name((p + e.name()).c_str());
                    for (pugi::xml_node k = e.first_child(); k; k = k.next_sibling())
                        if (k.type() == pugi::node_element) stack.push_back(k);
                }
            }
        }
        UpdateCount(list);
        dirty_ = true;
    };
    if (!fonts_) fonts_ = EnsureChild(root_, "fonts", kStyleSheetOrder);
    if (fontNodes_.empty()) {
        add(fonts_, "<font><sz val=\"11\"/></font>");
        fontNodes_ = Elements(fonts_, "font");
    }
    if (!fills_) fills_ = EnsureChild(root_, "fills", kStyleSheetOrder);
    if (fillNodes_.empty()) add(fills_, "<fill><patternFill patternType=\"none\"/></fill>");
    if (Elements(fills_, "fill").size() < 2)
        add(fills_, "<fill><patternFill patternType=\"gray125\"/></fill>");
    fillNodes_ = Elements(fills_, "fill");
    if (!borders_) borders_ = EnsureChild(root_, "borders", kStyleSheetOrder);
    if (borderNodes_.empty()) {
        add(borders_, "<border><left/><right/><top/><bottom/><diagonal/></border>");
        borderNodes_ = Elements(borders_, "border");
    }
    pugi::xml_node styleXfs = EnsureChild(root_, "cellStyleXfs", kStyleSheetOrder);
    if (Elements(styleXfs, "xf").empty())
        add(styleXfs, "<xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\"/>");
    if (!cellXfs_) cellXfs_ = EnsureChild(root_, "cellXfs", kStyleSheetOrder);
    if (xfs_.empty()) {
        add(cellXfs_, "<xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\"/>");
        xfs_ = Elements(cellXfs_, "xf");
    }
}

int StyleSheet::addUnique(pugi::xml_node list, std::vector<pugi::xml_node>& nodes,
                          std::unordered_map<std::string, int>& byKey, pugi::xml_node candidate) {
    std::string key = NodeKey(candidate);
    auto it = byKey.find(key);
    if (it != byKey.end()) return it->second;
    int index = static_cast<int>(nodes.size());
    pugi::xml_node added = nodes.empty() ? list.append_copy(candidate)
                                         : list.insert_copy_after(candidate, nodes.back());
    nodes.push_back(added);
    byKey.emplace(std::move(key), index);
    UpdateCount(list);
    dirty_ = true;
    return index;
}

template <class Edit>
int StyleSheet::derive(int s, Op op, const std::string& arg, Edit edit) {
    auto memoKey = std::make_tuple(s, static_cast<int>(op), arg);
    if (auto it = memo_.find(memoKey); it != memo_.end()) return it->second;
    ensureBasics();
    if (!keysBuilt_) {
        // Later of two identical records is never preferred, so only first occurrences go in.
        for (size_t i = 0; i < xfs_.size(); ++i)
            xfByKey_.emplace(NodeKey(xfs_[i]), static_cast<int>(i));
        for (size_t i = 0; i < fontNodes_.size(); ++i)
            fontByKey_.emplace(NodeKey(fontNodes_[i]), static_cast<int>(i));
        for (size_t i = 0; i < fillNodes_.size(); ++i)
            fillByKey_.emplace(NodeKey(fillNodes_[i]), static_cast<int>(i));
        for (size_t i = 0; i < borderNodes_.size(); ++i)
            borderByKey_.emplace(NodeKey(borderNodes_[i]), static_cast<int>(i));
        keysBuilt_ = true;
    }
    pugi::xml_document tmp;
    pugi::xml_node base = xf(s);
    if (!base) base = xfs_.front();  // an index outside the table counts as the default format
    pugi::xml_node copy = tmp.append_copy(base);
    edit(copy);
    int result = addUnique(cellXfs_, xfs_, xfByKey_, copy);
    memo_.emplace(memoKey, result);
    return result;
}

int StyleSheet::numFmtIdFor(std::string_view code) {
    int builtin = BuiltinFormatId(code);
    if (builtin >= 0 && !customCodes_.count(builtin)) return builtin;
    int maxId = 163;
    for (const auto& [id, c] : customCodes_) {
        if (c == code) return id;
        maxId = std::max(maxId, id);
    }
    int id = maxId + 1;
    if (!numFmts_) numFmts_ = EnsureChild(root_, "numFmts", kStyleSheetOrder);
    pugi::xml_node f = numFmts_.append_child((PrefixOf(root_) + "numFmt").c_str());
    f.append_attribute("numFmtId").set_value(id);
    f.append_attribute("formatCode").set_value(std::string(code).c_str());
    UpdateCount(numFmts_);
    customCodes_[id] = std::string(code);
    dirty_ = true;
    return id;
}

int StyleSheet::withNumberFormat(int s, std::string_view code) {
    if (numberFormatCode(s) == code && s >= 0 && s < xfCount()) return s;
    int id = numFmtIdFor(code);
    return derive(s, kNumFmt, std::string(code), [&](pugi::xml_node c) {
        SetAttr(c, "numFmtId", std::to_string(id));
        SetAttr(c, "applyNumberFormat", "1");
    });
}

int StyleSheet::withFontSize(int s, double points) {
    const std::string size = NumberToXml(points);
    return derive(s, kFontSize, size, [&](pugi::xml_node c) {
        int fontId = attrInt(c, "fontId");
        pugi::xml_document tmp;
        pugi::xml_node font = fontId >= 0 && fontId < static_cast<int>(fontNodes_.size())
                                  ? tmp.append_copy(fontNodes_[fontId])
                                  : tmp.append_copy(fontNodes_.front());
        SetAttr(EnsureChild(font, "sz", kFontOrder), "val", size);
        SetAttr(c, "fontId", std::to_string(addUnique(fonts_, fontNodes_, fontByKey_, font)));
        SetAttr(c, "applyFont", "1");
    });
}

int StyleSheet::withCenter(int s) {
    return derive(s, kCenter, {}, [&](pugi::xml_node c) {
        SetAttr(EnsureChild(c, "alignment", kXfOrder), "horizontal", "center");
        SetAttr(c, "applyAlignment", "1");
    });
}

int StyleSheet::withBottomDouble(int s) {
    return derive(s, kBottom, {}, [&](pugi::xml_node c) {
        int borderId = attrInt(c, "borderId");
        pugi::xml_document tmp;
        pugi::xml_node border = borderId >= 0 && borderId < static_cast<int>(borderNodes_.size())
                                    ? tmp.append_copy(borderNodes_[borderId])
                                    : tmp.append_copy(borderNodes_.front());
        pugi::xml_node bottom = EnsureChild(border, "bottom", kBorderOrder);
        SetAttr(bottom, "style", "double");
        while (pugi::xml_node old = Child(bottom, "color")) bottom.remove_child(old);
        bottom.append_child((PrefixOf(bottom) + "color").c_str())
            .append_attribute("auto")
            .set_value("1");
        SetAttr(c, "borderId",
                std::to_string(addUnique(borders_, borderNodes_, borderByKey_, border)));
        SetAttr(c, "applyBorder", "1");
    });
}

int StyleSheet::withFill(int s, Fill f) {
    return derive(s, kFill, f == Fill::Tan ? "tan" : "none", [&](pugi::xml_node c) {
        int fillId = 0;
        if (f == Fill::Tan) {
            // The results sheet's tan: red 255, green 204, blue 153, written as an RGB value so
            // that no reader has to know the palette.
            const std::string p = PrefixOf(fills_);
            pugi::xml_document tmp;
            pugi::xml_node fill = tmp.append_child((p + "fill").c_str());
            pugi::xml_node pf = fill.append_child((p + "patternFill").c_str());
            pf.append_attribute("patternType").set_value("solid");
            pf.append_child((p + "fgColor").c_str()).append_attribute("rgb").set_value("FFFFCC99");
            pf.append_child((p + "bgColor").c_str()).append_attribute("indexed").set_value("64");
            fillId = addUnique(fills_, fillNodes_, fillByKey_, fill);
        }
        SetAttr(c, "fillId", std::to_string(fillId));
        SetAttr(c, "applyFill", "1");
    });
}

}  // namespace sheet::detail
