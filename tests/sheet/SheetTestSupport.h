#pragma once
// Helpers for the workbook layer's tests: small packages written from XML given in the test, the
// raw entries of a saved file, and openpyxl as the independent reader.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "sheet/Workbook.h"
#include "sheet/Zip.h"
#include "support/TestFiles.h"

namespace sheettest {

using Entries = std::vector<std::pair<std::string, std::string>>;

inline void WriteZip(const std::string& path, const Entries& entries) {
    sheet::detail::ZipWriter w;
    for (const auto& [name, data] : entries) ASSERT_TRUE(w.add(name, data, 9)) << w.error();
    std::string bytes;
    ASSERT_TRUE(w.finish(&bytes)) << w.error();
    int why = 0;
    ASSERT_TRUE(sheet::detail::WriteFileAtomically(path, bytes, false, &why)) << "errno " << why;
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

inline void WriteFile(const std::string& path, const std::string& data) {
    std::ofstream(path, std::ios::binary) << data;
}

// Every entry of a zip file, inflated.
inline std::map<std::string, std::string> ZipEntries(const std::string& path) {
    std::map<std::string, std::string> out;
    sheet::detail::ZipReader r;
    sheet::detail::ZipError e;
    if (!r.open(std::make_shared<const std::string>(ReadFile(path)), &e)) return out;
    for (int64_t i = 0; i < r.count(); ++i) {
        std::string data;
        if (r.read(i, &data, &e)) out[r.name(i)] = data;
    }
    return out;
}

inline std::vector<std::string> ZipNames(const std::string& path) {
    std::vector<std::string> out;
    sheet::detail::ZipReader r;
    sheet::detail::ZipError e;
    if (!r.open(std::make_shared<const std::string>(ReadFile(path)), &e)) return out;
    for (int64_t i = 0; i < r.count(); ++i) out.push_back(r.name(i));
    return out;
}

// A package around the given worksheet XML (the part's whole text), with optional shared
// strings, styles and workbook properties.
struct MiniBook {
    std::vector<std::string> sheets{
        R"(<worksheet xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main"><sheetData/></worksheet>)"};
    std::string sharedStrings;
    std::string styles;
    std::string workbookPr;  // e.g. <workbookPr date1904="1"/>
    std::string metadata;    // the cell metadata part's whole text

    Entries entries() const {
        std::string types =
            R"(<?xml version="1.0" encoding="UTF-8"?><Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types"><Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml"/><Default Extension="xml" ContentType="application/xml"/><Override PartName="/xl/workbook.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml"/>)";
        std::string rels =
            R"(<?xml version="1.0" encoding="UTF-8"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">)";
        std::string sheetList;
        Entries e;
        for (size_t i = 0; i < sheets.size(); ++i) {
            std::string n = std::to_string(i + 1);
            types +=
                R"(<Override PartName="/xl/worksheets/sheet)" + n +
                R"(.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml"/>)";
            rels +=
                R"(<Relationship Id="rId)" + n +
                R"(" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet" Target="worksheets/sheet)" +
                n + R"(.xml"/>)";
            sheetList += R"(<sheet name="Sheet)" + n + R"(" sheetId=")" + n + R"(" r:id="rId)" + n +
                         R"("/>)";
            e.push_back({"xl/worksheets/sheet" + n + ".xml", sheets[i]});
        }
        if (!sharedStrings.empty()) {
            rels +=
                R"(<Relationship Id="rIdS" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/sharedStrings" Target="sharedStrings.xml"/>)";
            types +=
                R"(<Override PartName="/xl/sharedStrings.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.sharedStrings+xml"/>)";
            e.push_back({"xl/sharedStrings.xml", sharedStrings});
        }
        if (!styles.empty()) {
            rels +=
                R"(<Relationship Id="rIdT" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/styles" Target="styles.xml"/>)";
            types +=
                R"(<Override PartName="/xl/styles.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.styles+xml"/>)";
            e.push_back({"xl/styles.xml", styles});
        }
        if (!metadata.empty()) {
            rels +=
                R"(<Relationship Id="rIdM" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/sheetMetadata" Target="metadata.xml"/>)";
            types +=
                R"(<Override PartName="/xl/metadata.xml" ContentType="application/vnd.openxmlformats-officedocument.spreadsheetml.sheetMetadata+xml"/>)";
            e.push_back({"xl/metadata.xml", metadata});
        }
        types += "</Types>";
        rels += "</Relationships>";
        std::string workbook =
            R"(<?xml version="1.0" encoding="UTF-8"?><workbook xmlns="http://schemas.openxmlformats.org/spreadsheetml/2006/main" xmlns:r="http://schemas.openxmlformats.org/officeDocument/2006/relationships">)" +
            workbookPr + "<sheets>" + sheetList + "</sheets></workbook>";
        Entries all{
            {"[Content_Types].xml", types},
            {"_rels/.rels",
             R"(<?xml version="1.0" encoding="UTF-8"?><Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships"><Relationship Id="rId1" Type="http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument" Target="xl/workbook.xml"/></Relationships>)"},
            {"xl/workbook.xml", workbook},
            {"xl/_rels/workbook.xml.rels", rels}};
        all.insert(all.end(), e.begin(), e.end());
        return all;
    }
};

inline std::string SheetXml(const std::string& sheetData, const std::string& prefix = "") {
    std::string p = prefix.empty() ? "" : prefix + ":";
    std::string ns = prefix.empty() ? "xmlns" : "xmlns:" + prefix;
    return "<" + p + "worksheet " + ns +
           R"(="http://schemas.openxmlformats.org/spreadsheetml/2006/main"><)" + p + "sheetData>" +
           sheetData + "</" + p + "sheetData></" + p + "worksheet>";
}

// Runs a Python script with openpyxl; returns what it printed.
inline std::string Python(const std::string& script, int* status = nullptr) {
    std::string file = (std::filesystem::temp_directory_path() / "zalvik-py-XXXXXX").string();
    int fd = mkstemp(file.data());
    if (fd < 0) return "mkstemp failed";
    close(fd);
    WriteFile(file, script);
    std::string out;
    int rc = testsupport::runCommand("/usr/bin/python3 -W ignore " + file, &out);
    std::remove(file.c_str());
    if (status) *status = rc;
    return out;
}

}  // namespace sheettest
