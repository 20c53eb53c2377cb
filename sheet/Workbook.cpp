#include "sheet/Workbook.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "sheet/Format.h"
#include "sheet/Internal.h"
#include "sheet/Xml.h"

namespace sheet {

using namespace detail;

namespace {

const char* const kContentTypesName = "[Content_Types].xml";
const char* const kMainNs = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
const char* const kRelNs = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
const char* const kPackageRelNs = "http://schemas.openxmlformats.org/package/2006/relationships";
const char* const kStylesType =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/styles";
const char* const kStylesContentType =
    "application/vnd.openxmlformats-officedocument.spreadsheetml.styles+xml";

constexpr std::string_view kBookViewsOrder[] = {"workbookView", "extLst"};
constexpr std::string_view kSheetViewsOrder[] = {"sheetView", "extLst"};

bool EndsWith(std::string_view s, std::string_view tail) {
    return s.size() >= tail.size() && s.substr(s.size() - tail.size()) == tail;
}

// Resolves a relationship target against the folder of its source part.
std::string ResolveTarget(const std::string& baseDir, std::string_view target) {
    std::string joined = !target.empty() && target.front() == '/' ? std::string(target.substr(1))
                                                                  : baseDir + std::string(target);
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= joined.size()) {
        size_t end = joined.find('/', start);
        if (end == std::string::npos) end = joined.size();
        std::string seg = joined.substr(start, end - start);
        if (seg == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!seg.empty() && seg != ".") {
            parts.push_back(seg);
        }
        start = end + 1;
    }
    std::string out;
    for (const auto& p : parts) out += (out.empty() ? "" : "/") + p;
    return out;
}

// Saving happens after every registered result, so large parts get the fastest deflate level
// and are deflated in pieces, of which a save deflates again only those whose text changed;
// small ones cost nothing either way and are deflated whole at the usual level.
constexpr size_t kLargePart = 65536;
int LevelFor(const std::string& data) { return data.size() > kLargePart ? 1 : 6; }

FileIdentity IdentityOf(const struct stat& st) {
    FileIdentity id;
    id.valid = true;
    id.dev = st.st_dev;
    id.ino = st.st_ino;
    id.size = st.st_size;
    id.mtimeNs = static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
    return id;
}

// A failed zip read as a fault of the file; the caller fills in the file's name.
FileFault FaultOf(const ZipError& e) {
    FileFault f;
    f.part = e.entry;
    switch (e.kind) {
        case ZipError::NotZip:
            f.problem = FileProblem::NotZip;
            break;
        case ZipError::TooManyEntries:
            f.problem = FileProblem::TooManyParts;
            break;
        case ZipError::TooLarge:
            f.problem = FileProblem::PartTooLarge;
            break;
        case ZipError::Bomb:
            f.problem = FileProblem::Compression;
            break;
        case ZipError::Corrupt:
        case ZipError::None:  // every failed read names its kind; damaged is the safe reading
            f.problem = FileProblem::DamagedPart;
            f.defect = PartDefect::CannotInflate;
            break;
    }
    return f;
}

// Reads the whole file; false with the problem (and errno) in *fault. *identity is the file's as
// the open descriptor saw it, so that a file replaced after the read is not mistaken for it.
bool ReadWholeFile(const std::string& path, std::string* out, FileFault* fault,
                   FileIdentity* identity) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        int e = errno;
        fault->problem = e == ENOENT || e == ENOTDIR ? FileProblem::NotFound
                         : e == EACCES               ? FileProblem::ReadDenied
                                                     : FileProblem::OpenFailed;
        fault->systemError = e;
        return false;
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        fault->problem = FileProblem::NotAFile;
        return false;
    }
    if (static_cast<uint64_t>(st.st_size) > zipLimits().maxFileBytes) {
        ::close(fd);
        fault->problem = FileProblem::FileTooLarge;
        return false;
    }
    *identity = IdentityOf(st);
    out->resize(static_cast<size_t>(st.st_size));
    size_t done = 0;
    while (done < out->size()) {
        ssize_t n = ::read(fd, out->data() + done, out->size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    ::close(fd);
    out->resize(done);
    if (fileDoneForTesting()) fileDoneForTesting()(path);
    return true;
}

void SetAttr(pugi::xml_node n, const char* name, const std::string& value) {
    pugi::xml_attribute a = n.attribute(name);
    if (!a) a = n.append_attribute(name);
    a.set_value(value.c_str());
}

// Removes tabSelected from a sheet's views; true when something changed.
bool Deselect(pugi::xml_node sheetRoot) {
    bool changed = false;
    for (pugi::xml_node v = Child(Child(sheetRoot, "sheetViews"), "sheetView"); v;
         v = NextSibling(v, "sheetView"))
        if (v.remove_attribute("tabSelected")) changed = true;
    return changed;
}

// Appends a relationship of `type` to `target` to a relationships part, under the first id
// "<idStem>1", "<idStem>2", ... that the part does not use yet.
void AppendRelationship(XmlPart& relsPart, const std::string& idStem, const char* type,
                        const std::string& target) {
    pugi::xml_node rels = relsPart.doc.document_element();
    std::string id;
    for (int k = 1;; ++k) {
        id = idStem + std::to_string(k);
        bool used = false;
        for (pugi::xml_node r = rels.first_child(); r; r = r.next_sibling())
            if (id == r.attribute("Id").value()) used = true;
        if (!used) break;
    }
    pugi::xml_node rel = rels.append_child((PrefixOf(rels) + "Relationship").c_str());
    rel.append_attribute("Id").set_value(id.c_str());
    rel.append_attribute("Type").set_value(type);
    rel.append_attribute("Target").set_value(target.c_str());
    relsPart.dirty = true;
}

// Appends to the content types the type of the part `partName` (its name in the package).
void AppendOverride(XmlPart& contentTypes, const std::string& partName, const char* contentType) {
    pugi::xml_node types = contentTypes.doc.document_element();
    pugi::xml_node o = types.append_child((PrefixOf(types) + "Override").c_str());
    o.append_attribute("PartName").set_value(("/" + partName).c_str());
    o.append_attribute("ContentType").set_value(contentType);
    contentTypes.dirty = true;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Workbook::Impl

FileFault Workbook::Impl::faultOf(FileProblem problem, const std::string& part) const {
    FileFault f;
    f.problem = problem;
    f.fileName = fileName;
    f.part = part;
    return f;
}

bool Workbook::Impl::readPart(const std::string& entry, std::string* text, FileFault* fault) {
    int64_t i = zip.find(entry);
    if (i < 0) {
        *fault = faultOf(FileProblem::DamagedPart, entry);
        fault->defect = PartDefect::Missing;
        return false;
    }
    ZipError ze;
    if (!zip.read(i, text, &ze)) {
        *fault = FaultOf(ze);
        fault->fileName = fileName;
        return false;
    }
    return true;
}

StyleSheet* Workbook::Impl::stylesForRead() {
    if (stylesTried) return styles.get();
    stylesTried = true;
    if (stylesPart.empty()) return nullptr;
    std::string text;
    pugi::xml_document doc;
    if (!readPart(stylesPart, &text, &lastFault)) {
        stylesBroken = true;
        return nullptr;
    }
    FileFault why = faultOf(FileProblem::DamagedPart, stylesPart);
    if (ParseXml(text, doc, &why) && !IsLocal(doc.document_element(), "styleSheet"))
        why.defect = PartDefect::WrongRoot;
    if (why.defect != PartDefect::None) {
        lastFault = why;
        stylesBroken = true;
        return nullptr;
    }
    styles = std::make_unique<StyleSheet>(std::move(doc));
    return styles.get();
}

StyleSheet* Workbook::Impl::stylesForWrite() {
    if (StyleSheet* st = stylesForRead()) return st;
    if (stylesBroken) return nullptr;  // never replace a part that could not be read
    // A workbook without a style part gets a minimal one, linked from the workbook.
    pugi::xml_document doc;
    FileFault ignored;
    ParseXml(StyleSheet::MinimalXml(), doc, &ignored);
    styles = std::make_unique<StyleSheet>(std::move(doc));
    stylesNew = true;
    stylesPart = workbookDir + "styles.xml";
    int n = 1;
    while (zip.find(stylesPart) >= 0)
        stylesPart = workbookDir + "styles" + std::to_string(++n) + ".xml";

    AppendRelationship(workbookRels, "rIdStyles", kStylesType,
                       stylesPart.substr(workbookDir.size()));

    AppendOverride(contentTypes, stylesPart, kStylesContentType);
    return styles.get();
}

const std::vector<std::string>& Workbook::Impl::strings() {
    if (sharedStringsTried) return sharedStrings;
    sharedStringsTried = true;
    if (sharedStringsPart.empty()) return sharedStrings;
    std::string text;
    pugi::xml_document doc;
    if (!readPart(sharedStringsPart, &text, &lastFault)) return sharedStrings;
    FileFault why = faultOf(FileProblem::DamagedPart, sharedStringsPart);
    if (!ParseXml(text, doc, &why)) {
        lastFault = why;
        return sharedStrings;
    }
    for (pugi::xml_node si = doc.document_element().first_child(); si; si = si.next_sibling())
        if (IsLocal(si, "si")) sharedStrings.push_back(StringItemText(si));
    return sharedStrings;
}

bool Workbook::Impl::isDynamicArray(int cm) {
    if (!metadataTried) {
        metadataTried = true;
        std::string text;
        pugi::xml_document doc;
        FileFault ignored;
        // Unreadable metadata marks no cell: the formula is then treated as an old-style array.
        if (!metadataPart.empty() && readPart(metadataPart, &text, &ignored) &&
            ParseXml(text, doc, &ignored)) {
            pugi::xml_node root = doc.document_element();
            std::vector<std::string> typeNames;  // by metadata type index, 1-based
            for (pugi::xml_node t = Child(Child(root, "metadataTypes"), "metadataType"); t;
                 t = NextSibling(t, "metadataType"))
                typeNames.push_back(t.attribute("name").value());
            for (pugi::xml_node bk = Child(Child(root, "cellMetadata"), "bk"); bk;
                 bk = NextSibling(bk, "bk")) {
                bool dynamic = false;
                for (pugi::xml_node rc = Child(bk, "rc"); rc; rc = NextSibling(rc, "rc")) {
                    const int t = rc.attribute("t").as_int(0);
                    if (t >= 1 && t <= static_cast<int>(typeNames.size()) &&
                        typeNames[t - 1] == "XLDAPR")
                        dynamic = true;
                }
                dynamicArrayMetadata.push_back(dynamic);
            }
        }
    }
    return cm >= 1 && cm <= static_cast<int>(dynamicArrayMetadata.size()) &&
           dynamicArrayMetadata[cm - 1];
}

void Workbook::Impl::dropCalcChain() {
    // The calculation chain lists formula cells; once a formula is gone it is stale, and the
    // spreadsheet program rebuilds a missing one without complaint.
    if (calcChainPart.empty()) return;
    const std::string lower = ToLowerAscii(calcChainPart);
    deletedParts.insert(lower);
    pugi::xml_node types = contentTypes.doc.document_element();
    for (pugi::xml_node o = types.first_child(); o;) {
        pugi::xml_node next = o.next_sibling();
        if (IsLocal(o, "Override") &&
            ToLowerAscii(o.attribute("PartName").value()) == "/" + lower) {
            types.remove_child(o);
            contentTypes.dirty = true;
        }
        o = next;
    }
    pugi::xml_node rels = workbookRels.doc.document_element();
    for (pugi::xml_node r = rels.first_child(); r;) {
        pugi::xml_node next = r.next_sibling();
        if (EndsWith(r.attribute("Type").value(), "/calcChain")) {
            rels.remove_child(r);
            workbookRels.dirty = true;
        }
        r = next;
    }
    calcChainPart.clear();
}

Worksheet* Workbook::Impl::loadWorksheet(int position) {
    if (position < 1 || position > static_cast<int>(worksheetIndex.size())) {
        lastFault = faultOf(FileProblem::NoSuchWorksheet);
        lastFault.worksheetPosition = position;
        return nullptr;
    }
    SheetEntry& e = sheets[worksheetIndex[position - 1]];
    if (e.worksheet) return e.worksheet.get();
    if (e.fault) {
        lastFault = e.fault;
        return nullptr;
    }
    auto impl = std::make_unique<Worksheet::Impl>();
    impl->book = this;
    impl->name = e.name;
    impl->sheetIndex = e.sheetIndex;
    impl->part.name = e.partName;
    std::string text;
    FileFault why = faultOf(FileProblem::WorksheetUnreadable, e.name);
    if (e.partName.empty()) {
        e.fault = faultOf(FileProblem::WorksheetWithoutPart, e.name);
    } else if (auto pending = otherParts.find(e.partName); pending != otherParts.end()) {
        // Deselected before it was loaded: take over the changed text.
        impl->part.doc = std::move(pending->second.doc);
        impl->part.dirty = pending->second.dirty;
        impl->part.textSize = pending->second.textSize;
        if (impl->index(&why)) {
            otherParts.erase(pending);
        } else {
            pending->second.doc = std::move(impl->part.doc);
            e.fault = why;
        }
    } else if (!readPart(e.partName, &text, &e.fault)) {
        // readPart has said why
    } else {
        impl->part.textSize = text.size();
        if (!ParseXml(text, impl->part.doc, &why) || !impl->index(&why)) e.fault = why;
    }
    if (e.fault) {
        lastFault = e.fault;
        return nullptr;
    }
    e.worksheet.reset(new Worksheet(std::move(impl)));
    return e.worksheet.get();
}

int Workbook::Impl::activeTab() const {
    pugi::xml_node view =
        Child(Child(workbook.doc.document_element(), "bookViews"), "workbookView");
    return view.attribute("activeTab").as_int(0);
}

void Workbook::Impl::selectSheet(int sheetIndex) {
    pugi::xml_node root = workbook.doc.document_element();
    pugi::xml_node views = EnsureChild(root, "bookViews", kWorkbookOrder);
    pugi::xml_node view = EnsureChild(views, "workbookView", kBookViewsOrder);
    SetAttr(view, "activeTab", std::to_string(sheetIndex));
    if (view.attribute("firstSheet").as_int(0) > sheetIndex)
        SetAttr(view, "firstSheet", std::to_string(sheetIndex));
    workbook.dirty = true;

    // Only one sheet may be selected, or the spreadsheet opens with a group of sheets.
    for (SheetEntry& e : sheets) {
        if (e.sheetIndex == sheetIndex || e.partName.empty()) continue;
        if (e.worksheet) {
            if (Deselect(e.worksheet->d_->root)) e.worksheet->d_->part.dirty = true;
            continue;
        }
        auto other = otherParts.find(e.partName);
        if (other != otherParts.end()) {
            if (Deselect(other->second.doc.document_element())) other->second.dirty = true;
            continue;
        }
        std::string text;
        FileFault ignored;
        if (!readPart(e.partName, &text, &ignored) || text.find("tabSelected") == std::string::npos)
            continue;
        // A sheet that is only deselected is not loaded as a worksheet: loading would write
        // the implicit row numbers and a new dimension into it. Its parsed text waits here and
        // becomes the worksheet if it is asked for later.
        XmlPart& p = otherParts[e.partName];
        p.name = e.partName;
        p.textSize = text.size();
        if (ParseXml(text, p.doc, &ignored) && Deselect(p.doc.document_element()))
            p.dirty = true;
        else if (!p.dirty)
            otherParts.erase(e.partName);
    }
}

// ---------------------------------------------------------------------------------------------
// Workbook

Workbook::Workbook() : d_(std::make_unique<Impl>()) {}
Workbook::~Workbook() = default;

std::unique_ptr<Workbook> Workbook::open(const std::string& path, FileFault* fault) {
    FileFault dummy;
    if (!fault) fault = &dummy;
    *fault = {};
    std::unique_ptr<Workbook> wb(new Workbook());
    Impl& d = *wb->d_;
    d.path = path;
    d.fileName = BaseName(path);
    const std::string ext =
        ToLowerAscii(path.substr(std::min(path.size(), path.find_last_of('.'))));

    auto fail = [&](FileFault f) {
        *fault = std::move(f);
        fault->fileName = d.fileName;
        return nullptr;
    };
    auto bytes = std::make_shared<std::string>();
    FileFault why;
    if (!ReadWholeFile(path, bytes.get(), &why, &d.identity)) return fail(why);
    if (ext == ".xls" || ext == ".xlsb" || ext == ".ods" || ext == ".csv" ||
        bytes->compare(0, 4, "\xD0\xCF\x11\xE0") == 0)  // the older binary format
        return fail(d.faultOf(FileProblem::OtherFormat));
    d.loadedBytes = bytes;

    ZipError ze;
    if (!d.zip.open(bytes, &ze)) return fail(FaultOf(ze));
    if (int64_t m = d.zip.find("mimetype"); m >= 0) {
        std::string mime;
        if (d.zip.read(m, &mime, &ze) && mime.find("opendocument") != std::string::npos)
            return fail(d.faultOf(FileProblem::OtherFormat));
    }

    // The binary workbook is a zip too, but its parts are records, not XML.
    if (d.zip.find("xl/workbook.bin") >= 0) return fail(d.faultOf(FileProblem::OtherFormat));

    auto loadXml = [&](const std::string& entry, XmlPart& part) {
        std::string text;
        if (!d.readPart(entry, &text, fault)) return false;
        part.name = d.zip.name(d.zip.find(entry));
        FileFault w = d.faultOf(FileProblem::DamagedPart, entry);
        if (!ParseXml(text, part.doc, &w)) {
            *fault = w;
            return false;
        }
        return true;
    };
    const FileFault notWorkbook = d.faultOf(FileProblem::NotWorkbook);

    if (d.zip.find(kContentTypesName) < 0 || d.zip.find("_rels/.rels") < 0)
        return fail(notWorkbook);
    if (!loadXml(kContentTypesName, d.contentTypes)) return nullptr;
    XmlPart& rootRels = d.packageRels;
    if (!loadXml("_rels/.rels", rootRels)) return nullptr;

    std::string workbookPart;
    for (pugi::xml_node r = rootRels.doc.document_element().first_child(); r;
         r = r.next_sibling()) {
        if (!IsLocal(r, "Relationship")) continue;
        if (EndsWith(r.attribute("Type").value(), "/officeDocument"))
            workbookPart = ResolveTarget("", r.attribute("Target").value());
        if (EndsWith(r.attribute("Type").value(), "/custom-properties")) {
            const int64_t i = d.zip.find(ResolveTarget("", r.attribute("Target").value()));
            if (i >= 0) d.customPart = d.zip.name(i);
        }
    }
    if (EndsWith(ToLowerAscii(workbookPart), ".bin"))
        return fail(d.faultOf(FileProblem::OtherFormat));
    if (workbookPart.empty() || d.zip.find(workbookPart) < 0) return fail(notWorkbook);
    if (!loadXml(workbookPart, d.workbook)) return nullptr;
    pugi::xml_node wbRoot = d.workbook.doc.document_element();
    if (!IsLocal(wbRoot, "workbook")) return fail(notWorkbook);
    workbookPart = d.workbook.name;
    auto slash = workbookPart.find_last_of('/');
    d.workbookDir = slash == std::string::npos ? "" : workbookPart.substr(0, slash + 1);
    std::string relsName =
        d.workbookDir + "_rels/" + workbookPart.substr(d.workbookDir.size()) + ".rels";
    if (d.zip.find(relsName) < 0) {
        FileFault missing = d.faultOf(FileProblem::DamagedPart, relsName);
        missing.defect = PartDefect::Missing;
        return fail(missing);
    }
    if (!loadXml(relsName, d.workbookRels)) return nullptr;

    std::string_view d1904 = Child(wbRoot, "workbookPr").attribute("date1904").value();
    d.date1904 = d1904 == "1" || d1904 == "true";

    struct Rel {
        std::string type, target;
    };
    std::map<std::string, Rel> rels;
    for (pugi::xml_node r = d.workbookRels.doc.document_element().first_child(); r;
         r = r.next_sibling()) {
        if (!IsLocal(r, "Relationship")) continue;
        if (std::string_view(r.attribute("TargetMode").value()) == "External") continue;
        std::string target = ResolveTarget(d.workbookDir, r.attribute("Target").value());
        int64_t idx = d.zip.find(target);
        Rel rel{r.attribute("Type").value(), idx >= 0 ? d.zip.name(idx) : std::string()};
        if (EndsWith(rel.type, "/styles")) d.stylesPart = rel.target;
        if (EndsWith(rel.type, "/sharedStrings")) d.sharedStringsPart = rel.target;
        if (EndsWith(rel.type, "/calcChain")) d.calcChainPart = rel.target;
        if (EndsWith(rel.type, "/sheetMetadata")) d.metadataPart = rel.target;
        rels[r.attribute("Id").value()] = std::move(rel);
    }

    // A sheet's part belongs to that sheet alone: a second sheet pointing at a part already in
    // use (another sheet, or the workbook's own parts) would be edited and saved twice, one
    // version overwriting the other. Such a sheet counts as having no part.
    std::set<std::string> usedParts;
    for (const std::string& p :
         {d.workbook.name, d.workbookRels.name, d.stylesPart, d.sharedStringsPart, d.calcChainPart})
        if (!p.empty()) usedParts.insert(ToLowerAscii(p));
    int sheetIndex = 0;
    for (pugi::xml_node s = Child(Child(wbRoot, "sheets"), "sheet"); s;
         s = NextSibling(s, "sheet")) {
        SheetEntry e;
        e.name = s.attribute("name").value();
        e.sheetIndex = sheetIndex++;
        pugi::xml_attribute rid = Attr(s, "id");
        auto it = rels.find(rid.value());
        if (it != rels.end()) {
            e.isWorksheet = EndsWith(it->second.type, "/worksheet");
            const std::string& target = it->second.target;
            if (!target.empty() && usedParts.insert(ToLowerAscii(target)).second)
                e.partName = target;
        } else {
            e.isWorksheet = true;  // counted, so that positions stay right; reading it fails
        }
        if (e.isWorksheet) d.worksheetIndex.push_back(static_cast<int>(d.sheets.size()));
        d.sheets.push_back(std::move(e));
    }
    if (d.worksheetIndex.empty()) return fail(d.faultOf(FileProblem::NoWorksheets));
    return wb;
}

const std::string& Workbook::path() const { return d_->path; }
int Workbook::worksheetCount() const { return static_cast<int>(d_->worksheetIndex.size()); }

std::string Workbook::worksheetName(int position) const {
    if (position < 1 || position > worksheetCount()) return {};
    return d_->sheets[d_->worksheetIndex[position - 1]].name;
}

Worksheet* Workbook::worksheet(int position) { return d_->loadWorksheet(position); }
const FileFault& Workbook::lastFault() const { return d_->lastFault; }

bool Workbook::hasUnsavedChanges() const {
    if (d_->contentTypes.dirty || d_->workbook.dirty || d_->workbookRels.dirty ||
        d_->packageRels.dirty)
        return true;
    if (d_->styles && d_->styles->dirty()) return true;
    for (const auto& e : d_->sheets)
        if (e.worksheet && e.worksheet->d_->part.dirty) return true;
    for (const auto& [n, p] : d_->otherParts)
        if (p.dirty) return true;
    return false;
}

namespace {

// The fault a test asked the workbook's saves to meet. Only the write of the workbook itself
// is handed it, so that the other files written meanwhile (the .bak, the journal, the live page
// on its own thread) are written as ever.
WriteFault& SaveFaultForTesting() {
    static WriteFault fault = WriteFault::None;
    return fault;
}

}  // namespace

void Workbook::setSaveFaultForTesting(SaveFault fault) {
    SaveFaultForTesting() = fault == SaveFault::DuringWrite        ? WriteFault::DuringWrite
                            : fault == SaveFault::AfterTempWritten ? WriteFault::AfterTempWritten
                                                                   : WriteFault::None;
}

namespace {

constexpr const char* kCustomNs =
    "http://schemas.openxmlformats.org/officeDocument/2006/custom-properties";
constexpr const char* kVariantNs =
    "http://schemas.openxmlformats.org/officeDocument/2006/docPropsVTypes";
constexpr const char* kCustomType =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/custom-properties";
constexpr const char* kCustomContentType =
    "application/vnd.openxmlformats-officedocument.custom-properties+xml";
// The property set that user-defined document properties belong to.
constexpr const char* kUserPropertiesId = "{D5CDD505-2E9C-101B-9397-08002B2CF9AE}";

// The <property> named `name` under the properties root; null when there is none.
pugi::xml_node PropertyNamed(pugi::xml_node root, std::string_view name) {
    for (pugi::xml_node p = root.first_child(); p; p = p.next_sibling())
        if (IsLocal(p, "property") && name == p.attribute("name").value()) return p;
    return {};
}

// The prefix the root binds to the variant types' namespace, binding "vt" when it has none.
std::string VariantPrefix(pugi::xml_node root) {
    for (pugi::xml_attribute a = root.first_attribute(); a; a = a.next_attribute()) {
        const std::string_view n = a.name();
        if (std::string_view(a.value()) != kVariantNs) continue;
        if (n == "xmlns") return "";
        if (n.substr(0, 6) == "xmlns:") return std::string(n.substr(6)) + ":";
    }
    root.append_attribute("xmlns:vt").set_value(kVariantNs);
    return "vt:";
}

}  // namespace

std::string Workbook::customProperty(std::string_view name) {
    Impl& d = *d_;
    if (d.customPart.empty()) return {};
    auto it = d.otherParts.find(d.customPart);
    if (it == d.otherParts.end()) {
        std::string text;
        FileFault ignored = d.faultOf(FileProblem::DamagedPart, d.customPart);
        XmlPart part;
        part.name = d.customPart;
        // Damaged properties read as none; setting one then writes a fresh part.
        if (!d.readPart(d.customPart, &text, &ignored) || !ParseXml(text, part.doc, &ignored))
            return {};
        part.textSize = text.size();
        it = d.otherParts.emplace(d.customPart, std::move(part)).first;
    }
    const pugi::xml_node p = PropertyNamed(it->second.doc.document_element(), name);
    return p ? p.first_child().text().get() : std::string();
}

void Workbook::setCustomProperty(std::string_view name, std::string_view value) {
    Impl& d = *d_;
    if (customProperty(name) == value && !d.customPart.empty() && !value.empty()) return;
    if (d.customPart.empty() || !d.otherParts.count(d.customPart)) {
        // A new part, named by the package's relationships and the content types.
        std::string part = "docProps/custom.xml";
        for (int n = 2; d.zip.find(part) >= 0 && d.customPart.empty(); ++n)
            part = "docProps/custom" + std::to_string(n) + ".xml";
        const bool named = !d.customPart.empty();
        if (named) part = d.customPart;
        d.customPart = part;
        XmlPart& p = d.otherParts[part];
        p.name = part;
        p.doc.reset();
        pugi::xml_node decl = p.doc.append_child(pugi::node_declaration);
        decl.append_attribute("version").set_value("1.0");
        decl.append_attribute("encoding").set_value("UTF-8");
        decl.append_attribute("standalone").set_value("yes");
        pugi::xml_node root = p.doc.append_child("Properties");
        root.append_attribute("xmlns").set_value(kCustomNs);
        root.append_attribute("xmlns:vt").set_value(kVariantNs);
        if (!named) AppendRelationship(d.packageRels, "rIdCustom", kCustomType, part);
        pugi::xml_node types = d.contentTypes.doc.document_element();
        bool typed = false;
        for (pugi::xml_node o = types.first_child(); o; o = o.next_sibling())
            if (IsLocal(o, "Override") &&
                ToLowerAscii(o.attribute("PartName").value()) == "/" + ToLowerAscii(part))
                typed = true;
        if (!typed) AppendOverride(d.contentTypes, part, kCustomContentType);
    }
    XmlPart& p = d.otherParts[d.customPart];
    pugi::xml_node root = p.doc.document_element();
    pugi::xml_node prop = PropertyNamed(root, name);
    if (!prop) {
        int pid = 1;
        for (pugi::xml_node q = root.first_child(); q; q = q.next_sibling())
            pid = std::max(pid, q.attribute("pid").as_int(1));
        prop = root.append_child((PrefixOf(root) + "property").c_str());
        prop.append_attribute("fmtid").set_value(kUserPropertiesId);
        prop.append_attribute("pid").set_value(pid + 1);
        prop.append_attribute("name").set_value(std::string(name).c_str());
    }
    while (prop.first_child()) prop.remove_child(prop.first_child());
    prop.append_child((VariantPrefix(root) + "lpwstr").c_str())
        .text()
        .set(std::string(value).c_str());
    p.dirty = true;
}

void Workbook::keepBackupOf(const Workbook& earlier) {
    if (!earlier.d_->zip.bytes()) return;
    d_->loadedBytes = earlier.d_->zip.bytes();
    d_->backupWritten = false;
}

bool Workbook::changedOnDisk() const {
    struct stat st;
    if (::stat(d_->path.c_str(), &st) != 0) return false;
    return d_->identity.valid && !(IdentityOf(st) == d_->identity);
}

SaveResult Workbook::save() {
    Impl& d = *d_;
    SaveResult result;
    result.fault.fileName = d.fileName;
    auto fail = [&](FileProblem problem, int systemError) {
        result.fault.problem = problem;
        result.fault.systemError = systemError;
        return result;
    };

    // 1. The changed parts, serialised; everything else is copied from the file as read.
    std::map<std::string, std::pair<std::string, std::string>>
        changed;  // lower name -> (name, xml)
    auto take = [&](XmlPart& p) {
        if (!p.dirty) return;
        std::string text = SerializeXml(p.doc, p.textSize);
        p.textSize = text.size();
        changed[ToLowerAscii(p.name)] = {p.name, std::move(text)};
    };
    take(d.contentTypes);
    take(d.workbook);
    take(d.workbookRels);
    take(d.packageRels);
    for (auto& e : d.sheets)
        if (e.worksheet && e.worksheet->d_->part.dirty) {
            // The used range changes only when cells were added; a sheet that was only
            // deselected or reformatted keeps the dimension its program wrote.
            if (e.worksheet->d_->cellsAdded) e.worksheet->d_->updateDimension();
            take(e.worksheet->d_->part);
        }
    for (auto& [n, p] : d.otherParts) take(p);
    if (d.styles && (d.styles->dirty() || d.stylesNew))
        changed[ToLowerAscii(d.stylesPart)] = {d.stylesPart, SerializeXml(d.styles->doc())};

    // 2. The new archive, in memory, with the content types first as packages expect.
    ZipWriter writer;
    std::string deflateError;
    auto addChanged = [&](const std::string& lower, const std::string& name, std::string text) {
        const int level = LevelFor(text);
        if (text.size() <= kLargePart) return writer.add(name, std::move(text), level);
        PieceDeflater& deflater = d.deflaters[lower];
        if (!deflater.update(std::move(text), level)) {
            deflateError = "deflate failed";
            return false;
        }
        return writer.addDeflated(name, deflater);
    };
    auto addEntry = [&](int64_t i) {
        const std::string lower = ToLowerAscii(d.zip.name(i));
        if (d.deletedParts.count(lower)) return true;
        auto it = changed.find(lower);
        if (it == changed.end()) return writer.copyRaw(d.zip, i);
        bool ok = addChanged(lower, d.zip.name(i), std::move(it->second.second));
        changed.erase(it);
        return ok;
    };
    bool built = true;
    const int64_t typesIndex = d.zip.find(kContentTypesName);
    if (typesIndex >= 0) built = addEntry(typesIndex);
    for (int64_t i = 0; built && i < d.zip.count(); ++i)
        if (i != typesIndex) built = addEntry(i);
    for (auto& [lower, entry] : changed)  // parts the file did not have before
        if (built) built = addChanged(lower, entry.first, std::move(entry.second));
    std::string bytes;
    if (!built || !writer.finish(&bytes)) {
        result.fault.systemMessage = deflateError.empty() ? writer.error() : deflateError;
        return fail(FileProblem::PackingFailed, 0);
    }

    // 3. Where to write: over the file, unless someone else has changed it since we read or
    //    wrote it; then beside it under a new name.
    std::string target = d.path;
    struct stat st;
    bool exists = ::stat(d.path.c_str(), &st) == 0;
    bool changedBehind = exists && d.identity.valid && !(IdentityOf(st) == d.identity);
    int why = 0;
    bool written = false;
    const WriteFault testFault = SaveFaultForTesting();
    if (changedBehind) {
        std::string stem = d.path, ext;
        auto dot = d.path.find_last_of('.');
        if (dot != std::string::npos && dot > d.path.find_last_of('/') + 1) {
            stem = d.path.substr(0, dot);
            ext = d.path.substr(dot);
        }
        for (int n = 2; n < 1000 && !written; ++n) {
            target = stem + " (" + std::to_string(n) + ")" + ext;
            if (::access(target.c_str(), F_OK) == 0) {
                why = EEXIST;  // so that running out of numbers says why
                continue;
            }
            written = WriteFileAtomically(target, bytes, /*noReplace=*/true, &why, &st, testFault);
            if (!written && why != EEXIST) break;  // taken meanwhile: try the next number
        }
    } else {
        // 4. Before the first save over the file, keep the file as it was loaded beside it:
        //    beside the file itself when the workbook was opened through a symbolic link.
        if (exists && !d.backupWritten) {
            std::string file;
            if (!FollowLinks(d.path, &file, &why)) return fail(FileProblem::BackupFailed, why);
            if (!WriteFileAtomically(file + ".bak", *d.loadedBytes, false, &why))
                return fail(FileProblem::BackupFailed, why);
            d.backupWritten = true;
            d.loadedBytes.reset();
        }
        written = WriteFileAtomically(target, bytes, false, &why, &st, testFault);
    }
    if (!written) return fail(FileProblem::WriteFailed, why);

    // 5. The written file becomes the source of unchanged parts for the next save.
    auto saved = std::make_shared<const std::string>(std::move(bytes));
    ZipReader next;
    ZipError ze;
    if (next.open(saved, &ze)) {
        d.zip.swap(next);
        d.contentTypes.dirty = d.workbook.dirty = d.workbookRels.dirty = false;
        d.packageRels.dirty = false;
        for (auto& e : d.sheets)
            if (e.worksheet) e.worksheet->d_->part.dirty = false;
        for (auto& [n, p] : d.otherParts) p.dirty = false;
        if (d.styles) d.styles->markClean();
        d.stylesNew = false;
        d.deletedParts.clear();
    }
    // Otherwise everything stays marked as changed and the next save writes it all again from
    // the archive that was read before.
    d.identity = IdentityOf(st);
    result.ok = true;
    result.savedPath = target;
    if (changedBehind) {
        result.savedUnderNewName = true;
        d.path = target;
        d.fileName = BaseName(target);
        d.backupWritten = true;  // the new file has no earlier version to keep
    }
    return result;
}

bool Workbook::createEmpty(const std::string& path, const std::vector<std::string>& sheetNames,
                           FileFault* fault) {
    FileFault dummy;
    if (!fault) fault = &dummy;
    *fault = {};
    fault->fileName = BaseName(path);
    if (sheetNames.empty()) {
        fault->problem = FileProblem::NoSheetNames;
        return false;
    }
    auto build = [&](auto fill) {
        pugi::xml_document doc;
        pugi::xml_node decl = doc.append_child(pugi::node_declaration);
        decl.append_attribute("version").set_value("1.0");
        decl.append_attribute("encoding").set_value("UTF-8");
        decl.append_attribute("standalone").set_value("yes");
        fill(doc);
        return SerializeXml(doc);
    };

    std::string types = build([&](pugi::xml_document& doc) {
        auto t = doc.append_child("Types");
        t.append_attribute("xmlns").set_value(
            "http://schemas.openxmlformats.org/package/2006/content-types");
        auto def = [&](const char* ext, const char* type) {
            auto e = t.append_child("Default");
            e.append_attribute("Extension").set_value(ext);
            e.append_attribute("ContentType").set_value(type);
        };
        auto over = [&](const std::string& part, const char* type) {
            auto e = t.append_child("Override");
            e.append_attribute("PartName").set_value(part.c_str());
            e.append_attribute("ContentType").set_value(type);
        };
        def("rels", "application/vnd.openxmlformats-package.relationships+xml");
        def("xml", "application/xml");
        over("/xl/workbook.xml",
             "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml");
        for (size_t i = 0; i < sheetNames.size(); ++i)
            over("/xl/worksheets/sheet" + std::to_string(i + 1) + ".xml",
                 "application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml");
        over("/xl/styles.xml", kStylesContentType);
    });
    std::string rootRels = build([&](pugi::xml_document& doc) {
        auto r = doc.append_child("Relationships");
        r.append_attribute("xmlns").set_value(kPackageRelNs);
        auto rel = r.append_child("Relationship");
        rel.append_attribute("Id").set_value("rId1");
        rel.append_attribute("Type").set_value(
            "http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument");
        rel.append_attribute("Target").set_value("xl/workbook.xml");
    });
    std::string workbook = build([&](pugi::xml_document& doc) {
        auto w = doc.append_child("workbook");
        w.append_attribute("xmlns").set_value(kMainNs);
        w.append_attribute("xmlns:r").set_value(kRelNs);
        w.append_child("bookViews")
            .append_child("workbookView")
            .append_attribute("activeTab")
            .set_value(0);
        auto sheets = w.append_child("sheets");
        for (size_t i = 0; i < sheetNames.size(); ++i) {
            auto s = sheets.append_child("sheet");
            s.append_attribute("name").set_value(sheetNames[i].c_str());
            s.append_attribute("sheetId").set_value(i + 1);
            s.append_attribute("r:id").set_value(("rId" + std::to_string(i + 1)).c_str());
        }
    });
    std::string workbookRels = build([&](pugi::xml_document& doc) {
        auto r = doc.append_child("Relationships");
        r.append_attribute("xmlns").set_value(kPackageRelNs);
        size_t i = 0;
        for (; i < sheetNames.size(); ++i) {
            auto rel = r.append_child("Relationship");
            rel.append_attribute("Id").set_value(("rId" + std::to_string(i + 1)).c_str());
            rel.append_attribute("Type").set_value(
                "http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet");
            rel.append_attribute("Target").set_value(
                ("worksheets/sheet" + std::to_string(i + 1) + ".xml").c_str());
        }
        auto rel = r.append_child("Relationship");
        rel.append_attribute("Id").set_value(("rId" + std::to_string(i + 1)).c_str());
        rel.append_attribute("Type").set_value(kStylesType);
        rel.append_attribute("Target").set_value("styles.xml");
    });

    ZipWriter writer;
    bool ok = writer.add(kContentTypesName, types) && writer.add("_rels/.rels", rootRels) &&
              writer.add("xl/workbook.xml", workbook) &&
              writer.add("xl/_rels/workbook.xml.rels", workbookRels) &&
              writer.add("xl/styles.xml", StyleSheet::MinimalXml());
    for (size_t i = 0; ok && i < sheetNames.size(); ++i) {
        std::string sheet = build([&](pugi::xml_document& doc) {
            auto w = doc.append_child("worksheet");
            w.append_attribute("xmlns").set_value(kMainNs);
            w.append_attribute("xmlns:r").set_value(kRelNs);
            w.append_child("dimension").append_attribute("ref").set_value("A1");
            auto view = w.append_child("sheetViews").append_child("sheetView");
            if (i == 0) view.append_attribute("tabSelected").set_value(1);
            view.append_attribute("workbookViewId").set_value(0);
            w.append_child("sheetFormatPr").append_attribute("defaultRowHeight").set_value(13.5);
            w.append_child("sheetData");
            auto m = w.append_child("pageMargins");
            for (auto [k, v] : {std::pair{"left", "0.7"},
                                {"right", "0.7"},
                                {"top", "0.75"},
                                {"bottom", "0.75"},
                                {"header", "0.3"},
                                {"footer", "0.3"}})
                m.append_attribute(k).set_value(v);
        });
        ok = writer.add("xl/worksheets/sheet" + std::to_string(i + 1) + ".xml", sheet);
    }
    std::string bytes;
    if (!ok || !writer.finish(&bytes)) {
        fault->problem = FileProblem::PackingFailed;
        fault->systemMessage = writer.error();
        return false;
    }
    if (!WriteFileAtomically(path, bytes, false, &fault->systemError)) {
        fault->problem = FileProblem::WriteFailed;
        return false;
    }
    return true;
}

}  // namespace sheet
