#include "output/LivePage.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <algorithm>
#include <array>
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
// the page itself never scrolls sideways.
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
th,td{padding:3px 3px;border-bottom:1px solid #ccd;vertical-align:top;overflow-wrap:anywhere;word-break:break-word}
th{font-size:.8em;font-weight:normal;color:#555;text-align:left}
td.n,th.n{text-align:right;font-variant-numeric:tabular-nums;white-space:nowrap;overflow-wrap:normal}
col.rank{width:2.4em}col.bib{width:2.9em}col.rp{width:4.6em}col.time{width:4.4em}col.bp{width:2.6em}
tbody tr:nth-child(even){background:#f3f6f8}
p.none,p.waiting{margin:4px 0;color:#666;font-size:.9em}
ul.status{margin:0;padding-left:1.2em}
@media (max-width:480px){body{font-size:13px;padding:6px}th,td{padding:3px 1px}}
)";

// Text for HTML element content and attribute values. Control characters that a workbook cell
// may carry are not allowed in an HTML document and are left out.
QString Escaped(const QString& text) {
    QString out;
    out.reserve(text.size() + 8);
    for (const QChar ch : text) {
        switch (ch.unicode()) {
            case '&':
                out += QLatin1String("&amp;");
                break;
            case '<':
                out += QLatin1String("&lt;");
                break;
            case '>':
                out += QLatin1String("&gt;");
                break;
            case '"':
                out += QLatin1String("&quot;");
                break;
            case '\'':
                out += QLatin1String("&#39;");
                break;
            case '\r':
            case '\n':
            case '\t':
                out += QLatin1Char(' ');
                break;
            default:
                if (ch.unicode() < 0x20 || (ch.unicode() >= 0x7f && ch.unicode() < 0xa0)) break;
                out += ch;
        }
    }
    return out;
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
    for (int k = 1; k <= classes; ++k) {
        ClassStandings& cs = out[static_cast<size_t>(k - 1)];
        cs.number = k;
        cs.title = ClassTitle(c, k);
        for (const StandingsRow& row : RankClass(*work, k)) {
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
    QString h;
    h.reserve(4096 + 400 * c.competitorCount);
    const QString event = Escaped(c.eventName.trimmed());
    h += QLatin1String("<!DOCTYPE html>\n<html lang=\"ja\">\n<head>\n<meta charset=\"utf-8\">\n");
    h +=
        QLatin1String("<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n");
    h += QStringLiteral("<meta http-equiv=\"refresh\" content=\"%1\">\n").arg(kRefreshSeconds);
    h += QStringLiteral("<title>%1速報</title>\n").arg(event.isEmpty() ? event : event + u' ');
    h += QLatin1String("<style>") + QLatin1String(kStyle) + QLatin1String("</style>\n");
    h += QLatin1String("</head>\n<body>\n<header>\n");
    h += QStringLiteral("<h1>%1</h1>\n").arg(event.isEmpty() ? QStringLiteral("速報") : event);
    QStringList where;
    if (!c.eventVenue.trimmed().isEmpty()) where << Escaped(c.eventVenue.trimmed());
    if (!c.eventDate.trimmed().isEmpty()) where << Escaped(c.eventDate.trimmed());
    if (!where.isEmpty()) h += QStringLiteral("<p class=\"where\">%1</p>\n").arg(where.join(u'　'));
    h += QStringLiteral("<p class=\"updated\">更新 <time datetime=\"%1\">%2</time></p>\n")
             .arg(UpdatedIso(updated), UpdatedText(updated));
    h += QLatin1String("</header>\n");

    if (!classes.empty()) {
        h += QLatin1String("<nav>\n<ul>\n");
        for (const ClassStandings& cs : classes)
            h += QStringLiteral("<li><a href=\"#class-%1\">%2</a></li>\n")
                     .arg(cs.number)
                     .arg(Escaped(cs.title));
        h += QLatin1String("</ul>\n</nav>\n");
    }
    h += QLatin1String("<main>\n");
    if (classes.empty()) h += QString::fromUtf8("<p class=\"none\">クラスがありません。</p>\n");
    for (const ClassStandings& cs : classes) {
        h += QStringLiteral("<section id=\"class-%1\">\n<h2>%2</h2>\n")
                 .arg(cs.number)
                 .arg(Escaped(cs.title));
        if (cs.ranked.empty()) {
            h += QString::fromUtf8("<p class=\"none\">まだ結果がありません。</p>\n");
        } else {
            h += QString::fromUtf8(
                "<table class=\"standings\">\n<colgroup><col class=\"rank\"><col class=\"bib\">"
                "<col class=\"name\"><col class=\"club\"><col class=\"rp\"><col class=\"time\">"
                "<col class=\"bp\"></colgroup>\n<thead><tr><th class=\"n\">順位</th>"
                "<th class=\"n\">ZNo</th><th>氏名</th><th>所属</th><th class=\"n\">ﾚｰｽP</th>"
                "<th class=\"n\">ﾀｲﾑ</th><th class=\"n\">B.P</th></tr></thead>\n<tbody>\n");
            for (const StandingsRow& row : cs.ranked) {
                const Competitor& who = c.competitors[row.slot];
                h +=
                    QStringLiteral(
                        "<tr><td class=\"n\">%1</td><td class=\"n\">%2</td><td>%3</td><td>%4</td>"
                        "<td class=\"n\">%5</td><td class=\"n\">%6</td><td class=\"n\">%7</td>"
                        "</tr>\n")
                        .arg(QString::number(row.rank), QString::number(row.bib), Escaped(who.name),
                             Escaped(who.affiliation), FormatHundredths(row.racePoints).trimmed(),
                             FormatHundredths(who.runTime).trimmed(), SingleText(who.buoyPoints));
            }
            h += QLatin1String("</tbody>\n</table>\n");
        }
        if (cs.waiting > 0)
            h += QStringLiteral("<p class=\"waiting\">結果待ち %1名</p>\n").arg(cs.waiting);
        for (int s = 1; s <= 3; ++s) {
            const std::vector<int>& listed = cs.byStatus[s];
            h += QStringLiteral("<h3 class=\"%1\">%2 %3名</h3>\n")
                     .arg(QLatin1String(kStatusCodes[s]), QString::fromUtf8(kStatusTitles[s]))
                     .arg(listed.size());
            if (listed.empty()) continue;
            h += QStringLiteral("<ul class=\"status %1\">\n").arg(QLatin1String(kStatusCodes[s]));
            for (int j : listed) {
                const Competitor& who = c.competitors[j];
                h += QStringLiteral("<li>%1 %2%3</li>\n")
                         .arg(QString::number(who.bib), Escaped(who.name),
                              who.affiliation.trimmed().isEmpty()
                                  ? QString()
                                  : QStringLiteral("（%1）").arg(Escaped(who.affiliation)));
            }
            h += QLatin1String("</ul>\n");
        }
        h += QLatin1String("</section>\n");
    }
    h += QLatin1String("</main>\n</body>\n</html>\n");
    return h.toUtf8();
}

QJsonObject Person(const Competitor& who) {
    return QJsonObject{{QStringLiteral("bib"), who.bib},
                       {QStringLiteral("name"), who.name},
                       {QStringLiteral("affiliation"), who.affiliation}};
}

QByteArray Json(const Competition& c, const std::vector<ClassStandings>& classes,
                const QDateTime& updated) {
    QJsonArray list;
    for (const ClassStandings& cs : classes) {
        QJsonArray standings;
        for (const StandingsRow& row : cs.ranked) {
            const Competitor& who = c.competitors[row.slot];
            QJsonObject entry = Person(who);
            entry.insert(QStringLiteral("rank"), row.rank);
            entry.insert(QStringLiteral("racePoints"), Hundredths(row.racePoints));
            entry.insert(QStringLiteral("runTime"), Hundredths(who.runTime));
            entry.insert(QStringLiteral("buoyPoints"), static_cast<double>(who.buoyPoints));
            standings.append(entry);
        }
        QJsonObject cls{{QStringLiteral("number"), cs.number},
                        {QStringLiteral("name"), c.className[cs.number]},
                        {QStringLiteral("standings"), standings},
                        {QStringLiteral("waiting"), cs.waiting}};
        for (int s = 1; s <= 3; ++s) {
            QJsonArray people;
            for (int j : cs.byStatus[s]) people.append(Person(c.competitors[j]));
            cls.insert(QLatin1String(kStatusCodes[s]), people);
        }
        list.append(cls);
    }
    const QJsonObject root{{QStringLiteral("event"), c.eventName.trimmed()},
                           {QStringLiteral("venue"), c.eventVenue},
                           {QStringLiteral("date"), c.eventDate},
                           {QStringLiteral("updated"), UpdatedIso(updated)},
                           {QStringLiteral("classes"), list}};
    return QJsonDocument(root).toJson(QJsonDocument::Compact);
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

}  // namespace zalvik
