#include "output/LivePage.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <algorithm>
#include <array>
#include <cstdio>
#include <memory>
#include <vector>

#include "app/Numbers.h"
#include "race/Formatting.h"
#include "race/Scoring.h"

namespace zalvik {

namespace {

// Seconds between two reloads of the page by the browser that shows it.
constexpr int kRefreshSeconds = 15;

// The page's look. Seven columns fit a phone's width: the numbers keep their width, names and
// affiliations wrap inside their cells, and a word too long for its cell breaks anywhere, so
// the page itself never scrolls sideways. A name breaks only at the space between family and
// given name, an affiliation only between its phrases (where the browser knows Japanese
// phrases, otherwise not at all). On a phone the affiliation goes on a second line under the
// name, where it has the width of the name and the numbers' gap; the last column keeps a
// margin from the edge of the screen.
const char kStyle[] = R"(
*{box-sizing:border-box}
html{-webkit-text-size-adjust:100%;text-size-adjust:100%}
body{margin:0;padding:8px;font-family:sans-serif;font-size:15px;line-height:1.35;color:#111;background:#fff}
header h1{font-size:1.3em;margin:0 0 4px}
header p{margin:0 0 2px;color:#444}
nav ul{list-style:none;margin:10px 0;padding:0;display:flex;flex-wrap:wrap;gap:6px}
nav a{display:block;padding:6px 10px;border:1px solid #8aa;border-radius:4px;text-decoration:none;color:#034;background:#eef6f6}
section{margin:16px 0 24px}
h2{font-size:1.15em;margin:0 0 6px;padding:4px 6px;background:#034;color:#fff}
h3{font-size:1em;margin:10px 0 4px}
table{width:100%;border-collapse:collapse;table-layout:fixed}
th,td{padding:3px 3px;border-bottom:1px solid #ccd;vertical-align:top;overflow-wrap:anywhere}
table.standings td:nth-child(3){word-break:keep-all}
table.standings td:nth-child(4){word-break:keep-all;word-break:auto-phrase}
th:last-child,td:last-child{padding-right:8px}
th{font-size:.8em;font-weight:normal;color:#555;text-align:left}
td.n,th.n{text-align:right;font-variant-numeric:tabular-nums;white-space:nowrap;overflow-wrap:normal}
col.rank{width:2.4em}col.bib{width:2.9em}col.rp{width:4.6em}col.time{width:4.4em}col.bp{width:calc(2.6em + 6px)}
tbody tr:nth-child(even){background:#f3f6f8}
p.none,p.waiting{margin:4px 0;color:#666;font-size:.9em}
ul.status{margin:0;padding-left:1.2em}
@media (max-width:480px){body{font-size:13px;padding:6px}th,td{padding:3px 1px}th:last-child,td:last-child{padding-right:8px}
table.standings,table.standings thead,table.standings tbody{display:block}
table.standings tr{display:grid;grid-template-columns:2.4em 2.9em minmax(0,1fr) 4.6em 4.4em calc(2.2em + 8px);border-bottom:1px solid #ccd}
table.standings th,table.standings td{border-bottom:0}
table.standings :is(th,td):nth-child(4){grid-row:2;grid-column:3/-1;padding-top:0}}
)";

// Appends text for HTML element content or an attribute value, as UTF-8. Control characters
// that a workbook cell may carry are not allowed in an HTML document and are left out; line
// breaks and tabs become blanks.
void AppendEscaped(QByteArray& out, const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    const int n = static_cast<int>(utf8.size());
    for (int i = 0; i < n; ++i) {
        const unsigned char ch = static_cast<unsigned char>(utf8[i]);
        switch (ch) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&#39;";
                break;
            case '\r':
            case '\n':
            case '\t':
                out += ' ';
                break;
            default:
                if (ch < 0x20 || ch == 0x7f) break;
                // U+0080..U+009F, the second range of control characters.
                if (ch == 0xc2 && i + 1 < n && static_cast<unsigned char>(utf8[i + 1]) < 0xa0) {
                    ++i;
                    break;
                }
                out += static_cast<char>(ch);
        }
    }
}

// Appends a JSON string literal.
void AppendJsonString(QByteArray& out, const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    out += '"';
    for (const char c : utf8) {
        const unsigned char ch = static_cast<unsigned char>(c);
        if (ch == '"' || ch == '\\') {
            out += '\\';
            out += c;
        } else if (ch < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", ch);
            out += escaped;
        } else {
            out += c;
        }
    }
    out += '"';
}

QString ClassTitle(const Competition& c, int k) {
    const QString name = c.className[k].trimmed();
    return name.isEmpty() ? QStringLiteral("クラス%1").arg(k) : name;
}

// Race points and times as numbers for the JSON: the value the page shows, to hundredths.
double Hundredths(float v) { return static_cast<double>(RoundToHundredths(v)); }

// One class as both forms need it.
struct ClassStandings {
    int number = 0;
    QString title;
    std::vector<StandingsRow> ranked;          // rows with race points, in standings order
    int waiting = 0;                           // listed without race points yet
    std::array<std::vector<int>, 4> byStatus;  // listed with DS, DF, DQ, in slot order
};

std::vector<ClassStandings> CollectClasses(const Competition& c) {
    // The shared work areas of the standings belong to the screens; the page builds its own.
    auto work = std::make_unique<Competition>(c);
    BuildStandings(*work);
    const int classes = std::clamp<int>(c.classCount, 0, kMaxClasses);
    const int competitors = std::clamp<int>(c.competitorCount, 0, kMaxSlots);
    std::vector<ClassStandings> out(static_cast<size_t>(classes));
    const SlotsByBib slotOfBib(*work);
    for (int k = 1; k <= classes; ++k) {
        ClassStandings& cs = out[static_cast<size_t>(k - 1)];
        cs.number = k;
        cs.title = ClassTitle(c, k);
        for (const StandingsRow& row : RankClass(*work, k, slotOfBib)) {
            if (row.shown)
                cs.ranked.push_back(row);
            else
                ++cs.waiting;
        }
    }
    for (int j = 1; j <= competitors; ++j) {
        const Competitor& who = c.competitors[j];
        if (who.status < 1 || who.status > 3) continue;
        for (int k = 1; k <= classes; ++k) {
            if (who.classNo.equals(k)) {
                out[static_cast<size_t>(k - 1)].byStatus[who.status].push_back(j);
                break;
            }
        }
    }
    return out;
}

const char* const kStatusCodes[4] = {"", "DS", "DF", "DQ"};
const char* const kStatusTitles[4] = {"", "DS（スタートせず）", "DF（ゴールせず）", "DQ（失格）"};

QString UpdatedText(const QDateTime& t) {
    return t.toString(QStringLiteral("yyyy/MM/dd HH:mm:ss"));
}
QString UpdatedIso(const QDateTime& t) {
    return t.toOffsetFromUtc(t.offsetFromUtc()).toString(Qt::ISODate);
}

QByteArray Html(const Competition& c, const std::vector<ClassStandings>& classes,
                const QDateTime& updated) {
    QByteArray h;
    h.reserve(8192 + 200 * c.competitorCount);
    const QString event = c.eventName.trimmed();
    h += "<!DOCTYPE html>\n<html lang=\"ja\">\n<head>\n<meta charset=\"utf-8\">\n"
         "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
         "<meta http-equiv=\"refresh\" content=\"";
    h += QByteArray::number(kRefreshSeconds);
    h += "\">\n<title>";
    if (!event.isEmpty()) {
        AppendEscaped(h, event);
        h += ' ';
    }
    h += "速報</title>\n<style>";
    h += kStyle;
    h += "</style>\n</head>\n<body>\n<header>\n<h1>";
    AppendEscaped(h, event.isEmpty() ? QStringLiteral("速報") : event);
    h += "</h1>\n";
    QStringList where;
    if (!c.eventVenue.trimmed().isEmpty()) where << c.eventVenue.trimmed();
    if (!c.eventDate.trimmed().isEmpty()) where << c.eventDate.trimmed();
    if (!where.isEmpty()) {
        h += "<p class=\"where\">";
        AppendEscaped(h, where.join(u'　'));
        h += "</p>\n";
    }
    h += "<p class=\"updated\">更新 <time datetime=\"";
    h += UpdatedIso(updated).toUtf8();
    h += "\">";
    h += UpdatedText(updated).toUtf8();
    h += "</time></p>\n</header>\n";

    if (!classes.empty()) {
        h += "<nav>\n<ul>\n";
        for (const ClassStandings& cs : classes) {
            h += "<li><a href=\"#class-";
            h += QByteArray::number(cs.number);
            h += "\">";
            AppendEscaped(h, cs.title);
            h += "</a></li>\n";
        }
        h += "</ul>\n</nav>\n";
    }
    h += "<main>\n";
    if (classes.empty()) h += "<p class=\"none\">クラスがありません。</p>\n";
    for (const ClassStandings& cs : classes) {
        h += "<section id=\"class-";
        h += QByteArray::number(cs.number);
        h += "\">\n<h2>";
        AppendEscaped(h, cs.title);
        h += "</h2>\n";
        if (cs.ranked.empty()) {
            h += "<p class=\"none\">まだ結果がありません。</p>\n";
        } else {
            h += "<table class=\"standings\">\n<colgroup><col class=\"rank\"><col class=\"bib\">"
                 "<col class=\"name\"><col class=\"club\"><col class=\"rp\"><col class=\"time\">"
                 "<col class=\"bp\"></colgroup>\n<thead><tr><th class=\"n\">順位</th>"
                 "<th class=\"n\">ZNo</th><th>氏名</th><th>所属</th><th class=\"n\">ﾚｰｽP</th>"
                 "<th class=\"n\">ﾀｲﾑ</th><th class=\"n\">B.P</th></tr></thead>\n<tbody>\n";
            for (const StandingsRow& row : cs.ranked) {
                const Competitor& who = c.competitors[row.slot];
                h += "<tr><td class=\"n\">";
                h += QByteArray::number(row.rank);
                h += "</td><td class=\"n\">";
                h += QByteArray::number(row.bib);
                h += "</td><td>";
                AppendEscaped(h, who.name);
                h += "</td><td>";
                AppendEscaped(h, who.affiliation);
                h += "</td><td class=\"n\">";
                h += FormatHundredths(row.racePoints).trimmed().toUtf8();
                h += "</td><td class=\"n\">";
                h += FormatHundredths(who.runTime).trimmed().toUtf8();
                h += "</td><td class=\"n\">";
                h += SingleText(who.buoyPoints).toUtf8();
                h += "</td></tr>\n";
            }
            h += "</tbody>\n</table>\n";
        }
        if (cs.waiting > 0) {
            h += "<p class=\"waiting\">結果待ち ";
            h += QByteArray::number(cs.waiting);
            h += "名</p>\n";
        }
        for (int s = 1; s <= 3; ++s) {
            const std::vector<int>& listed = cs.byStatus[s];
            h += "<h3 class=\"";
            h += kStatusCodes[s];
            h += "\">";
            h += kStatusTitles[s];
            h += ' ';
            h += QByteArray::number(static_cast<qulonglong>(listed.size()));
            h += "名</h3>\n";
            if (listed.empty()) continue;
            h += "<ul class=\"status ";
            h += kStatusCodes[s];
            h += "\">\n";
            for (int j : listed) {
                const Competitor& who = c.competitors[j];
                h += "<li>";
                h += QByteArray::number(who.bib);
                h += ' ';
                AppendEscaped(h, who.name);
                if (!who.affiliation.trimmed().isEmpty()) {
                    h += "（";
                    AppendEscaped(h, who.affiliation);
                    h += "）";
                }
                h += "</li>\n";
            }
            h += "</ul>\n";
        }
        h += "</section>\n";
    }
    h += "</main>\n</body>\n</html>\n";
    return h;
}

// {"bib":..,"name":..,"affiliation":.. without the closing brace.
void AppendPerson(QByteArray& j, const Competitor& who) {
    j += "{\"bib\":";
    j += QByteArray::number(who.bib);
    j += ",\"name\":";
    AppendJsonString(j, who.name);
    j += ",\"affiliation\":";
    AppendJsonString(j, who.affiliation);
}

QByteArray Json(const Competition& c, const std::vector<ClassStandings>& classes,
                const QDateTime& updated) {
    QByteArray j;
    j.reserve(4096 + 120 * c.competitorCount);
    j += "{\"event\":";
    AppendJsonString(j, c.eventName.trimmed());
    j += ",\"venue\":";
    AppendJsonString(j, c.eventVenue);
    j += ",\"date\":";
    AppendJsonString(j, c.eventDate);
    j += ",\"updated\":";
    AppendJsonString(j, UpdatedIso(updated));
    j += ",\"classes\":[";
    for (const ClassStandings& cs : classes) {
        if (&cs != &classes.front()) j += ',';
        j += "{\"number\":";
        j += QByteArray::number(cs.number);
        j += ",\"name\":";
        AppendJsonString(j, c.className[cs.number]);
        j += ",\"standings\":[";
        bool first = true;
        for (const StandingsRow& row : cs.ranked) {
            const Competitor& who = c.competitors[row.slot];
            if (!first) j += ',';
            first = false;
            AppendPerson(j, who);
            j += ",\"rank\":";
            j += QByteArray::number(row.rank);
            j += ",\"racePoints\":";
            j += QByteArray::number(Hundredths(row.racePoints), 'f', 2);
            j += ",\"runTime\":";
            j += QByteArray::number(Hundredths(who.runTime), 'f', 2);
            j += ",\"buoyPoints\":";
            j += QByteArray::number(static_cast<double>(who.buoyPoints), 'g', 7);
            j += '}';
        }
        j += "],\"waiting\":";
        j += QByteArray::number(cs.waiting);
        for (int s = 1; s <= 3; ++s) {
            j += ",\"";
            j += kStatusCodes[s];
            j += "\":[";
            bool firstPerson = true;
            for (int slot : cs.byStatus[s]) {
                if (!firstPerson) j += ',';
                firstPerson = false;
                AppendPerson(j, c.competitors[slot]);
                j += '}';
            }
            j += ']';
        }
        j += '}';
    }
    j += "]}";
    return j;
}

}  // namespace

LiveSnapshot MakeLiveSnapshot(const Competition& c, const QDateTime& updated) {
    const std::vector<ClassStandings> classes = CollectClasses(c);
    return {Html(c, classes, updated), Json(c, classes, updated)};
}

QString LivePagePath(const QString& workbookPath) {
    if (workbookPath.isEmpty()) return {};
    const QFileInfo book(workbookPath);
    return book.dir().filePath(book.completeBaseName() + QStringLiteral("_速報.html"));
}

bool WriteFileAtomically(const QString& path, const QByteArray& bytes, QString* why) {
    // QSaveFile writes a temporary file beside the target, flushes it to disk on commit and
    // only then renames it over the target.
    QSaveFile file(path);
    file.setDirectWriteFallback(false);
    const bool ok =
        file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit();
    if (!ok && why) {
        *why =
            QStringLiteral("速報ページ「%1」を書けませんでした（%2）。結果の登録は続けられます。")
                .arg(QFileInfo(path).fileName(), file.errorString());
    }
    return ok;
}

LivePageWriter::LivePageWriter(Done done) : done_(std::move(done)) {
    thread_ = std::thread([this] { run(); });
}

LivePageWriter::~LivePageWriter() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void LivePageWriter::write(const QString& path, const QByteArray& bytes) {
    {
        std::lock_guard lock(mutex_);
        path_ = path;
        bytes_ = bytes;
        queued_ = true;
    }
    changed_.notify_all();
}

void LivePageWriter::waitUntilWritten() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return !queued_ && !writing_; });
}

void LivePageWriter::run() {
    std::unique_lock lock(mutex_);
    while (true) {
        changed_.wait(lock, [this] { return queued_ || stopping_; });
        if (!queued_) return;  // stopping, with nothing left to write
        const QString path = path_;
        const QByteArray bytes = bytes_;
        queued_ = false;
        writing_ = true;
        lock.unlock();
        QString why;
        const bool ok = WriteFileAtomically(path, bytes, &why);
        if (done_) done_(ok, why);
        lock.lock();
        writing_ = false;
        changed_.notify_all();
    }
}

}  // namespace zalvik
