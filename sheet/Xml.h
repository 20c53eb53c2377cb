#pragma once
// XML helpers for the package parts. pugixml is not namespace-aware and some producers write
// prefixes (`x:c`), so elements are matched by local name and new elements take the prefix of
// their parent.

#include <pugixml.hpp>
#include <span>
#include <string>
#include <string_view>

#include "sheet/FileFault.h"

namespace sheet::detail {

using Order = std::span<const std::string_view>;

std::string_view LocalName(const char* qualified);
bool IsLocal(pugi::xml_node n, std::string_view local);
pugi::xml_node Child(pugi::xml_node parent, std::string_view local);
pugi::xml_node NextSibling(pugi::xml_node n, std::string_view local);
pugi::xml_attribute Attr(pugi::xml_node n, std::string_view local);  // any prefix
std::string PrefixOf(pugi::xml_node n);                              // "x:" or ""

// Returns the child `local` of `parent`, creating it at its place in `order` (the schema's child
// sequence) when it is missing: before the first existing sibling that comes later in `order`.
pugi::xml_node EnsureChild(pugi::xml_node parent, std::string_view local, Order order);
// Inserts a new child `local` at its place in `order`, after any existing children of that name.
pugi::xml_node InsertChild(pugi::xml_node parent, std::string_view local, Order order);

// Parses a package part. Refuses DOCTYPE declarations. On failure the defect (and byteOffset)
// of *why say what is wrong; its other fields are the caller's to fill.
bool ParseXml(const std::string& text, pugi::xml_document& doc, FileFault* why);
// sizeHint: the expected size of the text, reserved up front so that a large part is not
// copied again and again while it grows.
std::string SerializeXml(const pugi::xml_document& doc, size_t sizeHint = 0);

// The plain text of a shared string <si> or an inline string <is>: every <t>, rich-text runs
// included, without the phonetic <rPh> runs, with _xHHHH_ escapes decoded.
std::string StringItemText(pugi::xml_node item);
std::string DecodeEscapes(std::string_view s);
// Escapes what XML 1.0 cannot carry (control characters) and literal "_xHHHH_" look-alikes.
std::string EncodeEscapes(std::string_view s);

extern const Order kWorksheetOrder;
extern const Order kWorkbookOrder;
extern const Order kStyleSheetOrder;

}  // namespace sheet::detail
