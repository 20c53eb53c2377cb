// The workbook file layer reports faults as data and words none of them: no source file in sheet/
// holds a Japanese text for people. The sentences live in store/FileMessages.cpp.
//
// Japanese inside a literal is allowed only where it is data quoted within data: the literal
// text of a number format code (yyyy"年"m"月") and an XML attribute value (the default font's
// name), both written between escaped quotes. A message never is.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

bool IdentifierChar(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}

// Every string literal of a C++ source that holds a non-ASCII character outside escaped quotes,
// as "line: literal". Comments are skipped; raw strings count whole.
std::vector<std::string> TextsForPeople(const std::string& src) {
    std::vector<std::string> found;
    int line = 1;
    size_t i = 0;
    auto report = [&](int at, size_t from, size_t to) {
        found.push_back(std::to_string(at) + ": " + src.substr(from, to - from));
    };
    while (i < src.size()) {
        const char c = src[i];
        if (c == '\n') {
            ++line;
            ++i;
        } else if (src.compare(i, 2, "//") == 0) {
            i = src.find('\n', i);
            if (i == std::string::npos) break;
        } else if (src.compare(i, 2, "/*") == 0) {
            const size_t end = src.find("*/", i + 2);
            const size_t stop = end == std::string::npos ? src.size() : end + 2;
            for (; i < stop; ++i)
                if (src[i] == '\n') ++line;
        } else if (c == 'R' && i + 1 < src.size() && src[i + 1] == '"' &&
                   (i == 0 || !IdentifierChar(src[i - 1]) || src[i - 1] == '8' ||
                    src[i - 1] == 'u' || src[i - 1] == 'U' || src[i - 1] == 'L')) {
            const size_t open = src.find('(', i);
            if (open == std::string::npos) break;
            const std::string close = ")" + src.substr(i + 2, open - i - 2) + "\"";
            const size_t end = src.find(close, open);
            const size_t stop = end == std::string::npos ? src.size() : end + close.size();
            const int at = line;
            bool wide = false;
            for (size_t k = i; k < stop; ++k) {
                if (src[k] == '\n') ++line;
                if (static_cast<unsigned char>(src[k]) >= 0x80) wide = true;
            }
            if (wide) report(at, i, stop);
            i = stop;
        } else if (c == '"') {
            const size_t start = i++;
            bool quoted = false, wide = false;
            for (; i < src.size() && src[i] != '"' && src[i] != '\n'; ++i) {
                if (src[i] == '\\' && i + 1 < src.size()) {
                    if (src[i + 1] == '"') quoted = !quoted;
                    ++i;
                } else if (static_cast<unsigned char>(src[i]) >= 0x80 && !quoted) {
                    wide = true;
                }
            }
            if (wide) report(line, start, i + 1);
            ++i;
        } else if (c == '\'' && (i == 0 || !IdentifierChar(src[i - 1]))) {
            // A character literal; a quote after a digit is a digit separator.
            for (++i; i < src.size() && src[i] != '\'' && src[i] != '\n'; ++i)
                if (src[i] == '\\') ++i;
            ++i;
        } else {
            ++i;
        }
    }
    return found;
}

}  // namespace

TEST(SheetLayerTexts, TheCheckFindsAMessageAndPassesData) {
    const std::string source = R"src(
// ファイル「x」が見つかりません (a comment may say anything)
/* 見つかりません */
const char* code = "yyyy\"年\"m\"月\"";
const char* font = "<name val=\"ＭＳ Ｐゴシック\"/>";
char quote = '"'; int big = 1'000;
std::string why = "ファイル「" + name + "」が見つかりません。";
auto raw = R"(見つかりません)";
)src";
    const std::vector<std::string> found = TextsForPeople(source);
    ASSERT_EQ(found.size(), 3u) << ::testing::PrintToString(found);
    EXPECT_EQ(found[0], "7: \"ファイル「\"");
    EXPECT_EQ(found[1], "7: \"」が見つかりません。\"");
    EXPECT_EQ(found[2], "8: R\"(見つかりません)\"");
}

TEST(SheetLayerTexts, NoSourceOfTheLayerWordsAMessage) {
    const std::filesystem::path folder = std::filesystem::path(PROJECT_SOURCE_DIR) / "sheet";
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        const std::string ext = entry.path().extension().string();
        if (ext != ".cpp" && ext != ".h") continue;
        ++files;
        std::ifstream in(entry.path(), std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        for (const std::string& f : TextsForPeople(text.str()))
            ADD_FAILURE() << "sheet/" << entry.path().filename().string() << ":" << f
                          << "\n  the file layer reports a sheet::FileFault; word it in "
                             "store/FileMessages.cpp";
    }
    EXPECT_GT(files, 10);
}
