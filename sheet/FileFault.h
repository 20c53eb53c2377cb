#pragma once
// Why the workbook file layer could not open, read, create or save a file. The layer reports a
// fault as data and never words it: the sentence a user reads is built above this layer, from
// these fields alone (store/FileMessages.h), so that the wording lives in one place and a caller
// can act on the kind of fault without reading any text.

#include <string>

namespace sheet {

enum class FileProblem {
    None,

    // Opening the file. systemError holds the errno of the failed open for the first three.
    NotFound,      // ENOENT or ENOTDIR
    ReadDenied,    // EACCES
    OpenFailed,    // any other errno
    NotAFile,      // a folder or a device
    FileTooLarge,  // larger than the layer reads at all
    OtherFormat,   // .xls, .xlsb, .ods, .csv: a format the user must convert first
    NotZip,
    NotWorkbook,   // a zip without the package's own parts or the workbook part
    TooManyParts,  // more zip entries than any real workbook has
    PartTooLarge,  // part: the entry that grew past the limit while it was unpacked
    Compression,   // part: the entry whose compression ratio no real XML reaches
    DamagedPart,   // part and defect: a part of the package that cannot be used
    NoWorksheets,  // the workbook lists no worksheet at all

    // Asking for a worksheet.
    NoSuchWorksheet,       // worksheetPosition: there is no worksheet at that position
    WorksheetWithoutPart,  // part: the worksheet's name; its relationship leads to no part
    WorksheetUnreadable,   // part: the worksheet's name; defect says why

    // Creating a new workbook (createEmpty) or saving one (SaveResult). Whether the file was
    // being created or saved is the caller's to know: the same fault ends either call.
    NoSheetNames,   // a new workbook needs at least one worksheet
    PackingFailed,  // building the archive in memory failed; systemMessage: the zip library's
    WriteFailed,    // systemError: why the file could not be written
    BackupFailed,   // systemError: why the copy of the file as loaded (.bak) could not be written
};

// What is wrong inside a damaged part (DamagedPart, WorksheetUnreadable).
enum class PartDefect {
    None,
    Missing,        // the part is named but absent from the package
    CannotInflate,  // its compressed data is damaged
    Doctype,        // a DOCTYPE declaration, refused
    NotXml,         // byteOffset: where the XML parser stopped
    NoElement,      // XML without any element
    WrongRoot,      // the part's root element is not the one its kind must have
    // A worksheet's rows and cells, checked when it is first read:
    RowNumberOutOfRange,  // found: the row number as written
    TooManyRows,          // rows without numbers run past the last row of a sheet
    RowOutOfOrder,        // row
    CellReferenceBad,     // found: the cell reference as written
    CellInOtherRow,       // found: the cell reference; row: the row it stands in
    TooManyColumns,       // row: cells without references run past the last column
    CellOutOfOrder,       // row, column
};

struct FileFault {
    FileProblem problem = FileProblem::None;
    int systemError = 0;        // errno, 0 when the system reported nothing
    std::string systemMessage;  // the zip library's own (English) words, for PackingFailed
    std::string fileName;       // the file's name without its folder
    std::string part;           // the zip entry, or the worksheet's name (see FileProblem)
    int worksheetPosition = 0;  // NoSuchWorksheet
    PartDefect defect = PartDefect::None;
    long long byteOffset = 0;  // NotXml
    int row = 0, column = 0;   // in a worksheet, counted from 1
    std::string found;         // the text found where a row number or a cell reference belongs

    explicit operator bool() const { return problem != FileProblem::None; }
    bool operator==(const FileFault&) const = default;
};

}  // namespace sheet
