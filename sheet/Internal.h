#pragma once
// What the workbook and its worksheets hold in memory. Shared by Workbook.cpp and Worksheet.cpp
// only; callers see Workbook.h.

#include <sys/types.h>

#include <map>
#include <memory>
#include <pugixml.hpp>
#include <set>
#include <string>
#include <vector>

#include "sheet/Styles.h"
#include "sheet/Workbook.h"
#include "sheet/Zip.h"

namespace sheet {

namespace detail {

// An XML part of the package, parsed and kept in memory; written back only when changed.
struct XmlPart {
    std::string name;  // the zip entry name as stored
    pugi::xml_document doc;
    bool dirty = false;
    size_t textSize = 0;  // bytes of the part as last read or written: room to serialise into
};

// What identifies the file on disk as the one this program last read or wrote.
struct FileIdentity {
    bool valid = false;
    dev_t dev = 0;
    ino_t ino = 0;
    off_t size = 0;
    long long mtimeNs = 0;
    bool operator==(const FileIdentity&) const = default;
};

struct SheetEntry {
    std::string name;
    int sheetIndex = 0;    // position among all <sheet> elements, chart sheets included
    std::string partName;  // zip entry, empty when the relationship leads nowhere
    bool isWorksheet = false;
    std::unique_ptr<Worksheet> worksheet;
    FileFault fault;  // why it could not be read, once tried
};

}  // namespace detail

struct Workbook::Impl {
    std::string path;
    std::string fileName;                            // for faults
    std::shared_ptr<const std::string> loadedBytes;  // the file as opened, for the backup copy
    detail::ZipReader zip;
    detail::FileIdentity identity;
    bool backupWritten = false;

    detail::XmlPart contentTypes, workbook, workbookRels;
    std::string workbookDir;  // folder of the workbook part inside the package, e.g. "xl/"
    std::vector<detail::SheetEntry> sheets;  // every <sheet>, in order
    std::vector<int> worksheetIndex;         // worksheet position - 1 -> index into sheets
    // Chart sheets touched by select(), and the custom properties once read.
    std::map<std::string, detail::XmlPart> otherParts;
    bool date1904 = false;

    std::string stylesPart;
    bool stylesTried = false;
    bool stylesBroken = false;
    bool stylesNew = false;
    std::unique_ptr<detail::StyleSheet> styles;

    std::string sharedStringsPart;
    bool sharedStringsTried = false;
    std::vector<std::string> sharedStrings;

    std::string calcChainPart;
    // The package's relationships, and the custom properties part they name (empty when none).
    detail::XmlPart packageRels;
    std::string customPart;
    std::set<std::string> deletedParts;  // lower-case entry names
    // The large parts as deflated by the last save, by lower-case entry name: the next save
    // deflates again only what changed in them.
    std::map<std::string, detail::PieceDeflater> deflaters;
    FileFault lastFault;

    FileFault faultOf(FileProblem problem, const std::string& part = {}) const;  // names the file
    bool readPart(const std::string& entry, std::string* text, FileFault* fault);
    detail::StyleSheet* stylesForRead();
    detail::StyleSheet* stylesForWrite();
    const std::vector<std::string>& strings();
    void dropCalcChain();
    Worksheet* loadWorksheet(int position);
    void selectSheet(int sheetIndex);
    int activeTab() const;
};

struct Worksheet::Impl {
    Workbook::Impl* book = nullptr;
    std::string name;
    int sheetIndex = 0;
    detail::XmlPart part;
    pugi::xml_node root, sheetData;
    std::string prefix;       // of the part's elements, e.g. "x:"
    bool cellsAdded = false;  // the used range may have grown since the file was read
    int nextSharedIndex = -1;

    struct Row {
        pugi::xml_node node;
        std::vector<std::pair<int, pugi::xml_node>> cells;  // by column, ascending
    };
    std::map<int, Row> rows;
    // Reads go along a row, so the row of the last lookup is kept (map nodes never move).
    mutable const Row* lastRow = nullptr;
    mutable int lastRowNo = 0;

    // Indexes the cells; false when the sheet data is unusable, with what is wrong in the
    // defect, row, column and found fields of *why.
    bool index(FileFault* why);
    pugi::xml_node findCell(int row, int col) const;
    Row& ensureRow(int row);
    pugi::xml_node ensureCell(int row, int col);
    pugi::xml_node writableCell(int row, int col);  // ensureCell with its old value removed
    int styleOf(pugi::xml_node cell) const;
    int inheritedStyle(int row, int col) const;  // the format a new cell takes from row or column
    void setStyle(pugi::xml_node cell, int s);
    template <class Derive>
    void restyle(int row, int col, Derive derive);
    void clearValue(pugi::xml_node cell, bool wholeSheet = false);
    void moveSharedFormula(pugi::xml_node masterCell, pugi::xml_node f);
    int newSharedIndex();  // an si no shared formula of the sheet uses yet
    pugi::xml_node addChild(pugi::xml_node parent, const char* local);
    void updateDimension();
};

}  // namespace sheet
