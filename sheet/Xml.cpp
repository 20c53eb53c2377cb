#include "sheet/Xml.h"

#include <cstring>

#include "sheet/Zip.h"

namespace sheet::detail {

namespace {

constexpr std::string_view kWorksheetOrderList[] = {"sheetPr",
                                                    "dimension",
                                                    "sheetViews",
                                                    "sheetFormatPr",
                                                    "cols",
                                                    "sheetData",
                                                    "sheetCalcPr",
                                                    "sheetProtection",
                                                    "protectedRanges",
                                                    "scenarios",
                                                    "autoFilter",
                                                    "sortState",
                                                    "dataConsolidate",
                                                    "customSheetViews",
                                                    "mergeCells",
                                                    "phoneticPr",
                                                    "conditionalFormatting",
                                                    "dataValidations",
                                                    "hyperlinks",
                                                    "printOptions",
                                                    "pageMargins",
                                                    "pageSetup",
                                                    "headerFooter",
                                                    "rowBreaks",
                                                    "colBreaks",
                                                    "customProperties",
                                                    "cellWatches",
                                                    "ignoredErrors",
                                                    "smartTags",
                                                    "drawing",
                                                    "legacyDrawing",
                                                    "legacyDrawingHF",
                                                    "picture",
                                                    "oleObjects",
                                                    "controls",
                                                    "webPublishItems",
                                                    "tableParts",
                                                    "extLst"};

constexpr std::string_view kWorkbookOrderList[] = {"fileVersion",    "fileSharing",
                                                   "workbookPr",     "workbookProtection",
                                                   "bookViews",      "sheets",
                                                   "functionGroups", "externalReferences",
                                                   "definedNames",   "calcPr",
                                                   "oleSize",        "customWorkbookViews",
                                                   "pivotCaches",    "smartTagPr",
                                                   "smartTagTypes",  "webPublishing",
                                                   "fileRecoveryPr", "webPublishObjects",
                                                   "extLst"};

constexpr std::string_view kStyleSheetOrderList[] = {
    "numFmts",    "fonts", "fills",       "borders", "cellStyleXfs", "cellXfs",
    "cellStyles", "dxfs",  "tableStyles", "colors",  "extLst"};

int OrderIndex(Order order, std::string_view local) {
    for (size_t i = 0; i < order.size(); ++i)
        if (order[i] == local) return static_cast<int>(i);
    return -1;
}

// The first child that the schema puts after `local`; null when there is none.
pugi::xml_node FirstLater(pugi::xml_node parent, std::string_view local, Order order) {
    int mine = OrderIndex(order, local);
    for (pugi::xml_node c = parent.first_child(); c; c = c.next_sibling()) {
        if (c.type() != pugi::node_element) continue;
        int theirs = OrderIndex(order, LocalName(c.name()));
        if (theirs > mine) return c;
    }
    return {};
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The code unit of an "_xHHHH_" escape starting at s[i], or -1.
long EscapeAt(std::string_view s, size_t i) {
    if (i + 7 > s.size() || s[i] != '_' || s[i + 1] != 'x' || s[i + 6] != '_') return -1;
    long v = 0;
    for (size_t k = i + 2; k < i + 6; ++k) {
        int h = HexValue(s[k]);
        if (h < 0) return -1;
        v = v * 16 + h;
    }
    return v;
}

void AppendUtf8(std::string& out, unsigned long cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

struct StringWriter : pugi::xml_writer {
    std::string out;
    void write(const void* data, size_t size) override {
        out.append(static_cast<const char*>(data), size);
    }
};

}  // namespace

const Order kWorksheetOrder{kWorksheetOrderList};
const Order kWorkbookOrder{kWorkbookOrderList};
const Order kStyleSheetOrder{kStyleSheetOrderList};

std::string_view LocalName(const char* qualified) {
    std::string_view q(qualified);
    auto p = q.find(':');
    return p == std::string_view::npos ? q : q.substr(p + 1);
}

bool IsLocal(pugi::xml_node n, std::string_view local) {
    if (n.type() != pugi::node_element) return false;
    // Called for every cell read: compare in place instead of measuring the name first.
    const char* name = n.name();
    if (std::strncmp(name, local.data(), local.size()) == 0 && name[local.size()] == '\0')
        return true;
    const char* colon = std::strchr(name, ':');
    return colon && std::strncmp(colon + 1, local.data(), local.size()) == 0 &&
           colon[1 + local.size()] == '\0';
}

pugi::xml_node Child(pugi::xml_node parent, std::string_view local) {
    for (pugi::xml_node c = parent.first_child(); c; c = c.next_sibling())
        if (IsLocal(c, local)) return c;
    return {};
}

pugi::xml_node NextSibling(pugi::xml_node n, std::string_view local) {
    for (pugi::xml_node c = n.next_sibling(); c; c = c.next_sibling())
        if (IsLocal(c, local)) return c;
    return {};
}

pugi::xml_attribute Attr(pugi::xml_node n, std::string_view local) {
    for (pugi::xml_attribute a = n.first_attribute(); a; a = a.next_attribute())
        if (LocalName(a.name()) == local) return a;
    return {};
}

std::string PrefixOf(pugi::xml_node n) {
    std::string_view q(n.name());
    auto p = q.find(':');
    return p == std::string_view::npos ? std::string() : std::string(q.substr(0, p + 1));
}

pugi::xml_node EnsureChild(pugi::xml_node parent, std::string_view local, Order order) {
    if (pugi::xml_node c = Child(parent, local)) return c;
    return InsertChild(parent, local, order);
}

pugi::xml_node InsertChild(pugi::xml_node parent, std::string_view local, Order order) {
    std::string name = PrefixOf(parent) + std::string(local);
    if (pugi::xml_node later = FirstLater(parent, local, order))
        return parent.insert_child_before(name.c_str(), later);
    return parent.append_child(name.c_str());
}

bool ParseXml(const std::string& text, pugi::xml_document& doc, FileFault* why) {
    // A DOCTYPE has no business in a package part, and refusing it keeps entity tricks out.
    if (text.find("<!DOCTYPE") != std::string::npos) {
        why->defect = PartDefect::Doctype;
        return false;
    }
    const unsigned options =
        pugi::parse_default | pugi::parse_ws_pcdata_single | pugi::parse_declaration;
    pugi::xml_parse_result r =
        doc.load_buffer(text.data(), text.size(), options, pugi::encoding_auto);
    if (!r) {
        why->defect = PartDefect::NotXml;
        why->byteOffset = static_cast<long long>(r.offset);
        return false;
    }
    if (!doc.document_element()) {
        why->defect = PartDefect::NoElement;
        return false;
    }
    // The text is held as UTF-8 whatever the part was written in, and a changed part is saved
    // as UTF-8: its declaration must say so, or no program can read it back.
    for (pugi::xml_node n = doc.first_child(); n; n = n.next_sibling()) {
        if (n.type() != pugi::node_declaration) continue;
        pugi::xml_attribute enc = n.attribute("encoding");
        if (enc && ToLowerAscii(enc.value()) != "utf-8") enc.set_value("UTF-8");
    }
    return true;
}

std::string SerializeXml(const pugi::xml_document& doc, size_t sizeHint) {
    StringWriter w;
    if (sizeHint) w.out.reserve(sizeHint + sizeHint / 8 + 4096);
    doc.save(w, "", pugi::format_raw, pugi::encoding_utf8);
    return std::move(w.out);
}

std::string DecodeEscapes(std::string_view s) {
    if (s.find("_x") == std::string_view::npos) return std::string(s);
    std::string out;
    out.reserve(s.size());
    for (size_t i = 0; i < s.size();) {
        long cu = EscapeAt(s, i);
        if (cu < 0) {
            out += s[i++];
            continue;
        }
        i += 7;
        unsigned long cp = static_cast<unsigned long>(cu);
        if (cu >= 0xD800 && cu <= 0xDBFF) {  // a surrogate pair is written as two escapes
            long lo = EscapeAt(s, i);
            if (lo >= 0xDC00 && lo <= 0xDFFF) {
                cp = 0x10000 + ((cp - 0xD800) << 10) + static_cast<unsigned long>(lo - 0xDC00);
                i += 7;
            } else {
                cp = 0xFFFD;  // half a pair is no character; UTF-8 cannot carry it
            }
        } else if (cu >= 0xDC00 && cu <= 0xDFFF) {
            cp = 0xFFFD;
        }
        AppendUtf8(out, cp);
    }
    return out;
}

std::string EncodeEscapes(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    static const char* hex = "0123456789ABCDEF";
    for (size_t i = 0; i < s.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        if ((c < 0x20 && c != '\t' && c != '\n' && c != '\r') || EscapeAt(s, i) >= 0) {
            out += "_x00";
            out += hex[c >> 4];
            out += hex[c & 15];
            out += '_';
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

std::string StringItemText(pugi::xml_node item) {
    std::string raw;
    for (pugi::xml_node c = item.first_child(); c; c = c.next_sibling()) {
        if (IsLocal(c, "t")) {
            raw += c.text().get();
        } else if (IsLocal(c, "r")) {
            for (pugi::xml_node t = c.first_child(); t; t = t.next_sibling())
                if (IsLocal(t, "t")) raw += t.text().get();
        }
        // rPh (the reading of Japanese text) and phoneticPr are not part of the value.
    }
    return DecodeEscapes(raw);
}

}  // namespace sheet::detail
