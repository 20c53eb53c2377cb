#pragma once
// The workbook file layer: opens a user's .xlsx file, reads and writes the cells and formats the
// program needs, and saves the file back safely. It changes only what it is asked to change; every
// other part of the file (other sheets, styles, drawings, formulas, print settings) is written back
// exactly as it was read.
//
// Rows and columns are counted from 1. All texts are UTF-8.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "sheet/FileFault.h"

namespace sheet {

enum class ValueType { Empty, Number, Text, Boolean, Error, Date };

struct Date {
    int year = 1900, month = 1, day = 1;
    bool operator==(const Date&) const = default;
};

struct Value {
    ValueType type = ValueType::Empty;
    double number = 0;  // Number, Boolean (0/1), Date (serial of the 1900 date system)
    std::string text;   // Text, Error

    bool isEmpty() const;  // no value, or an empty text
    // The value as the spreadsheet shows it: numbers with up to 15 significant digits and no
    // trailing zeros, dates as yyyy/MM/dd, TRUE/FALSE, "" for empty.
    std::string toText() const;
    Date date() const;  // for a Date (or a Number taken as a serial)
};

struct Margins {
    double left = 0, right = 0, top = 0, bottom = 0, header = 0, footer = 0;  // inches
};

struct HeaderFooter {
    std::string leftHeader, centerHeader, rightHeader, leftFooter, centerFooter, rightFooter;
    bool operator==(const HeaderFooter&) const = default;
};

enum class Fill { None, Tan };

struct SaveResult {
    bool ok = false;
    bool savedUnderNewName = false;
    std::string savedPath;
    // Why the save failed. fault.fileName is set after every save, also a successful one: it is
    // the name the file had before the save, which a save under a new name has changed.
    FileFault fault;
};

class Workbook;

class Worksheet {
  public:
    ~Worksheet();
    Worksheet(const Worksheet&) = delete;
    Worksheet& operator=(const Worksheet&) = delete;

    const std::string& name() const;

    Value value(int row, int col) const;
    std::string text(int row, int col) const;  // value(row, col).toText()

    void setNumber(int row, int col, double v);
    void setInteger(int row, int col, long long v);
    void setText(int row, int col, std::string_view utf8);
    void setDate(int row, int col, Date d);
    // Removes the value (or formula) of one cell; its format stays. Nothing happens to a cell
    // that holds nothing.
    void clearValue(int row, int col);

    std::string numberFormat(int row, int col) const;  // format code, e.g. "0.00", "General"
    void setNumberFormat(int row, int col, std::string_view code);

    void setRowHeight(int row, double points);
    double rowHeight(int row) const;  // points; 0 when the row has no height of its own
    // Width in characters of the standard font, as the spreadsheet program's column width.
    void setColumnWidth(int col, double characters);
    double columnWidth(int col) const;  // 0 when the column has no width of its own

    void setFontSize(int row, int col, double points);
    double fontSize(int row, int col) const;
    void setHorizontalCenter(int row, int col);
    bool isHorizontalCenter(int row, int col) const;
    void setBottomDoubleBorder(int row, int col);
    bool hasBottomDoubleBorder(int row, int col) const;

    // rangeA1 is "A1", "A1:K1000" (column letters in either case, "$" allowed).
    // Returns false, changing nothing, when the address cannot be read.
    bool setFill(std::string_view rangeA1, Fill fill);
    Fill fill(int row, int col) const;

    // Removes values and formulas of every cell; styles stay.
    void clearContents();

    void setPageMargins(const Margins& inches);
    Margins pageMargins() const;
    void setHeaderFooter(const HeaderFooter& texts);
    HeaderFooter headerFooter() const;

    // Makes this the worksheet shown when the file is opened.
    void select();
    bool isSelected() const;

    // Printing: all columns on one page wide, as many pages tall as the rows need.
    void setFitToPageWidth();
    bool fitsToPageWidth() const;
    // What a printout of the sheet needs: the last row holding a value (0 for an empty sheet),
    // and the size of a column and of a row in points as the spreadsheet program draws them,
    // the sheet's default sizes included.
    int lastRowWithValue() const;
    double columnWidthPoints(int col) const;
    double rowHeightPoints(int row) const;

    struct Impl;

  private:
    friend class Workbook;
    explicit Worksheet(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> d_;
};

class Workbook {
  public:
    ~Workbook();
    Workbook(const Workbook&) = delete;
    Workbook& operator=(const Workbook&) = delete;

    // nullptr, and why in *fault, when the file cannot be opened. fault may be null.
    static std::unique_ptr<Workbook> open(const std::string& path, FileFault* fault);
    // Writes a new workbook with empty worksheets of these names (at least one).
    static bool createEmpty(const std::string& path, const std::vector<std::string>& sheetNames,
                            FileFault* fault);

    const std::string& path() const;  // changes when a save had to go under a new name
    int worksheetCount() const;
    std::string worksheetName(int position) const;
    // 1-based; nullptr when there is no such worksheet or it cannot be read (see lastFault()).
    Worksheet* worksheet(int position);
    // The last part that could not be read, the styles and shared strings included (a part
    // read without fault later does not clear it).
    const FileFault& lastFault() const;

    // A custom document property (File > Properties > Custom in a spreadsheet program, which
    // keeps them on save): the text of property `name`, empty when the file has none.
    std::string customProperty(std::string_view name);
    // Sets a text property, adding the properties part to the file when it has none.
    void setCustomProperty(std::string_view name, std::string_view value);

    // The next save writes, as the backup beside the file, the copy `earlier` last saved (or
    // read, when it has not saved yet) instead of this workbook's file as read: for the file
    // read again after another program saved over it, whose backup must be this program's copy.
    void keepBackupOf(const Workbook& earlier);

    bool hasUnsavedChanges() const;
    // Whether another program has changed (or replaced) the file since it was opened or last
    // saved; the next save() would then go under a new name. A file that is gone counts as
    // unchanged: the save writes it again.
    bool changedOnDisk() const;
    SaveResult save();

    // Test hook: make the next saves fail at a chosen point, to prove that the file on disk
    // stays whole and that nothing held in memory is lost.
    enum class SaveFault { None, DuringWrite, AfterTempWritten };
    static void setSaveFaultForTesting(SaveFault fault);

    struct Impl;

  private:
    Workbook();
    std::unique_ptr<Impl> d_;
};

std::string CellName(int row, int col);  // (7, 5) -> "E7"

}  // namespace sheet
