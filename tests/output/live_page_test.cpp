// The live page's two forms built from names that a workbook may well hold: quotes, a
// backslash, markup, line breaks and control characters. The JSON must stay parseable and give
// every name back exactly; the HTML must carry none of them as markup or raw control bytes.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <algorithm>
#include <functional>
#include <memory>

#include "output/LivePage.h"
#include "output/LivePageBuilder.h"
#include "race/Scoring.h"

using namespace zalvik;

namespace {

struct NameCase {
    const char* label;
    QString text;
};

std::vector<NameCase> AwkwardNames() {
    return {{"quotes", QStringLiteral("\"山田\" 'たろう'")},
            {"backslash", QStringLiteral("C:\\スキー部\\")},
            {"markup", QStringLiteral("</td><script>alert(1)</script>")},
            {"ampersand entity", QStringLiteral("A&amp;B &lt;")},
            {"line break and tab", QStringLiteral("一行目\n二行目\tタブ")},
            {"control characters", QString::fromUtf8("ベル\x07\x1b") + QChar(0x85) + QChar(0x7f)},
            {"astral", QString::fromUtf8("𠮷野家")}};
}

}  // namespace

TEST(LivePage, AwkwardNamesKeepBothFormsSound) {
    const std::vector<NameCase> names = AwkwardNames();
    auto c = std::make_unique<Competition>();
    c->eventName = QStringLiteral("大会 \"冬\" <b>");
    c->classCount = 1;
    c->className[1] = QStringLiteral("一般");
    c->competitorCount = static_cast<int16_t>(names.size());
    for (size_t i = 0; i < names.size(); ++i) {
        Competitor& who = c->competitors[i + 1];
        who.bib = static_cast<int16_t>(i + 1);
        who.name = names[i].text;
        who.affiliation = names[names.size() - 1 - i].text;
        who.classNo = ClassValue::ofNumber(1);
        who.runTime = 60.0f + static_cast<float>(i);
        who.buoyPoints = 20;
        who.racePoints = RacePoints(who.runTime, who.buoyPoints);
    }
    c->competitors[1].status = 3;  // one of them in the DQ list
    const LiveSnapshot s = MakeLiveSnapshot(*c, QDateTime::currentDateTime());

    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(s.json, &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString();
    EXPECT_EQ(doc["event"].toString(), c->eventName);
    const QJsonObject cls = doc["classes"][0].toObject();
    QStringList listed;
    for (const QJsonValue& e : cls["standings"].toArray()) listed << e["name"].toString();
    for (const QJsonValue& e : cls["DQ"].toArray()) listed << e["name"].toString();
    ASSERT_EQ(listed.size(), static_cast<int>(names.size()));
    for (const NameCase& n : names) EXPECT_TRUE(listed.contains(n.text)) << n.label;

    // Markup only where the page puts it; every name's text is escaped.
    EXPECT_EQ(s.html.count("<script"), 0);
    EXPECT_EQ(s.html.count("<b>"), 0);
    EXPECT_TRUE(s.html.contains("&lt;/td&gt;&lt;script&gt;"));
    EXPECT_TRUE(s.html.contains("A&amp;amp;B &amp;lt;"));
    EXPECT_TRUE(s.html.contains("&quot;山田&quot; &#39;たろう&#39;"));
    EXPECT_TRUE(s.html.contains("一行目 二行目 タブ"));
    for (const char bad : {'\x07', '\x1b', '\x7f', '\t', '\r'})
        EXPECT_FALSE(s.html.contains(bad)) << int(bad);
    EXPECT_FALSE(s.html.contains("\xc2\x85"));
    EXPECT_TRUE(s.html.contains("𠮷野家"));
}

TEST(LivePage, PathBesideTheWorkbookAndWrittenWhole) {
    EXPECT_EQ(LivePagePath(QStringLiteral("/data/大会 2026.xlsx")),
              QStringLiteral("/data/大会 2026_速報.html"));
    EXPECT_EQ(LivePagePath(QStringLiteral("/data/race.v2.xlsx")),
              QStringLiteral("/data/race.v2_速報.html"));
    EXPECT_EQ(LivePagePath(QString()), QString());

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("race_速報.html"));
    ASSERT_TRUE(WriteFileAtomically(path, "first"));
    ASSERT_TRUE(WriteFileAtomically(path, "second, longer"));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("second, longer"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"race_速報.html"});

    // A folder in the page's place: refused with a sentence naming the file, nothing left over.
    const QString blocked = dir.filePath(QStringLiteral("blocked_速報.html"));
    ASSERT_TRUE(QDir().mkpath(blocked));
    QString why;
    EXPECT_FALSE(WriteFileAtomically(blocked, "x", &why));
    EXPECT_TRUE(why.contains(QStringLiteral("blocked_速報.html"))) << why.toStdString();
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{"race_速報.html"});
}

// Pages written in the background: a burst of changes ends with the last page on disk, also
// when the writer is destroyed right after it, and a failure is reported with its reason.
TEST(LivePage, BackgroundWriterEndsWithTheLastPage) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("race_速報.html"));
    const QString blocked = dir.filePath(QStringLiteral("blocked_速報.html"));
    ASSERT_TRUE(QDir().mkpath(blocked));
    std::mutex mutex;
    int written = 0;
    QStringList failures;
    {
        LivePageWriter writer([&](bool ok, const QString& why) {
            std::lock_guard lock(mutex);
            if (ok)
                ++written;
            else
                failures << why;
        });
        writer.write(blocked, "never");
        writer.waitUntilWritten();
        ASSERT_EQ(failures.size(), 1);
        EXPECT_TRUE(failures.first().contains(QStringLiteral("blocked_速報.html")));
        for (int i = 1; i <= 200; ++i) writer.write(path, QByteArray::number(i));
    }
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("200"));
    EXPECT_GE(written, 1);
    EXPECT_LE(written, 200);
    EXPECT_EQ(failures.size(), 1);
}

// Pages built in the background from copies taken at each change: a burst of changes is served
// in order and ends with the last one, also when the builder is destroyed right after it; the
// page, the JSON and the file path of each snapshot belong to the same change.
TEST(LivePage, BackgroundBuilderServesWholeSnapshotsInOrder) {
    std::vector<int> served;  // written by the builder's thread, read after it has stopped
    bool whole = true;
    {
        LivePageBuilder builder([&](const LiveSnapshot& s, const QString& path) {
            const int n = QJsonDocument::fromJson(s.json).object()["event"].toString().toInt();
            whole = whole && path == QString::number(n) &&
                    s.html.contains("<h1>" + QByteArray::number(n) + "</h1>");
            served.push_back(n);
        });
        auto c = std::make_unique<Competition>();
        for (int n = 1; n <= 200; ++n) {
            c->eventName = QString::number(n);
            builder.build(std::make_shared<const Competition>(*c), QDateTime::currentDateTime(),
                          QString::number(n));
        }
    }
    ASSERT_FALSE(served.empty());
    EXPECT_EQ(served.back(), 200);
    EXPECT_TRUE(std::adjacent_find(served.begin(), served.end(), std::greater_equal<>()) ==
                served.end());
    EXPECT_TRUE(whole);
}
