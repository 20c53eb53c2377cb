#include "output/JudgeRequests.h"

#include <QCryptographicHash>
#include <QFile>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpSocket>
#include <cmath>

#include "race/JudgeBoard.h"

namespace zalvik {

namespace {

using Status = QHttpServerResponder::StatusCode;

const QByteArray kJsonType = QByteArrayLiteral("application/json; charset=utf-8");

struct Page {
    QByteArray html;
    QByteArray etag;
};

const Page& JudgePage() {
    static const Page page = [] {
        QFile file(QStringLiteral(":/output/judge.html"));
        Page p;
        if (file.open(QIODevice::ReadOnly)) p.html = file.readAll();
        p.etag =
            '"' + QCryptographicHash::hash(p.html, QCryptographicHash::Sha1).toHex().left(16) + '"';
        return p;
    }();
    return page;
}

using Headers = std::vector<std::pair<QByteArray, QByteArray>>;

// An answer with its headers; the responder's own lists cannot be built up at run time.
void Answer(QHttpServerResponder& responder, Status status, const Headers& headers,
            const QByteArray& body, bool withBody = true) {
    responder.writeStatusLine(status);
    for (const auto& [name, value] : headers) responder.writeHeader(name, value);
    responder.writeHeader("Content-Length", QByteArray::number(body.size()));
    responder.writeBody(withBody ? body : QByteArray());
}

void Json(QHttpServerResponder& responder, Status status, const QJsonObject& body,
          Headers extra = {}) {
    extra.insert(extra.begin(), {{"Content-Type", kJsonType}, {"Cache-Control", "no-store"}});
    Answer(responder, status, extra, QJsonDocument(body).toJson(QJsonDocument::Compact));
}

void Error(QHttpServerResponder& responder, Status status, const QString& why) {
    Json(responder, status, {{QStringLiteral("error"), why}});
}

bool IsHexId(const QString& id) {
    if (id.size() != 32) return false;
    for (const QChar c : id)
        if (!c.isDigit() && !(c >= u'a' && c <= u'f') && !(c >= u'A' && c <= u'F')) return false;
    return true;
}

// A whole number in an int's range, or nullopt.
std::optional<int> Whole(const QJsonValue& v) {
    if (!v.isDouble()) return std::nullopt;
    const double d = v.toDouble();
    if (d != std::floor(d) || std::abs(d) > 1e6) return std::nullopt;
    return static_cast<int>(d);
}

QJsonObject LoginBody(const judges::LoginAnswer& a) {
    QJsonArray gates;
    for (int g : a.judge.gates) {
        QJsonArray buoys;
        for (int k = 1; k <= a.race.buoysAt(g); ++k)
            buoys.append(QJsonObject{{QStringLiteral("buoy"), k},
                                     {QStringLiteral("name"), a.race.buoyName[k]},
                                     {QStringLiteral("score"), a.race.buoyScore[k]}});
        if (g <= a.race.gateCount)
            gates.append(
                QJsonObject{{QStringLiteral("gate"), g}, {QStringLiteral("buoys"), buoys}});
    }
    return {{QStringLiteral("token"), QString::fromLatin1(a.token)},
            {QStringLiteral("judge"), QJsonObject{{QStringLiteral("id"), a.judge.id},
                                                  {QStringLiteral("name"), a.judge.name}}},
            {QStringLiteral("event"), a.race.eventName},
            {QStringLiteral("gates"), gates}};
}

void Login(const QHttpServerRequest& request, QTcpSocket* socket, QHttpServerResponder& responder,
           judges::JudgeBoard& board) {
    const QJsonDocument doc = QJsonDocument::fromJson(request.body());
    if (!doc.isObject() || !doc.object().value(QStringLiteral("pin")).isString())
        return Error(responder, Status::BadRequest, QStringLiteral("送られた内容が読めません。"));
    const judges::LoginAnswer a = board.login(doc.object().value(QStringLiteral("pin")).toString(),
                                              socket->peerAddress().toString());
    switch (a.what) {
        case judges::LoginAnswer::What::Ok:
            return Json(responder, Status::Ok, LoginBody(a));
        case judges::LoginAnswer::What::WrongPin:
            return Error(responder, Status::Unauthorized, QStringLiteral("PINが違います。"));
        case judges::LoginAnswer::What::Wait:
            return Json(
                responder, Status::TooManyRequests,
                {{QStringLiteral("error"),
                  QStringLiteral("PINを%1回間違えたため、%2秒待ってから入れ直してください。")
                      .arg(judges::kWrongPinsBeforeWait)
                      .arg(a.waitSeconds)},
                 {QStringLiteral("wait"), a.waitSeconds}},
                {{"Retry-After", QByteArray::number(a.waitSeconds)}});
    }
}

void Entries(const QHttpServerRequest& request, QHttpServerResponder& responder,
             judges::JudgeBoard& board) {
    const QJsonDocument doc = QJsonDocument::fromJson(request.body());
    const QString unreadable = QStringLiteral("送られた内容が読めません。");
    if (!doc.isObject()) return Error(responder, Status::BadRequest, unreadable);
    const QJsonObject body = doc.object();
    const QJsonValue list = body.value(QStringLiteral("entries"));
    if (!body.value(QStringLiteral("token")).isString() || !list.isArray())
        return Error(responder, Status::BadRequest, unreadable);
    if (list.toArray().size() > judges::kMaxBatch)
        return Error(responder, Status::BadRequest,
                     QStringLiteral("一度に送れるのは%1件までです。").arg(judges::kMaxBatch));
    std::vector<judges::SentEntry> batch;
    for (const QJsonValue& v : list.toArray()) {
        const QJsonObject o = v.toObject();
        judges::SentEntry e;
        const QString id = o.value(QStringLiteral("id")).toString();
        const auto bib = Whole(o.value(QStringLiteral("bib")));
        const auto gate = Whole(o.value(QStringLiteral("gate")));
        e.dq = o.value(QStringLiteral("dq")).toBool();
        const auto buoy = e.dq ? std::optional<int>(0) : Whole(o.value(QStringLiteral("buoy")));
        if (!v.isObject() || !IsHexId(id) || !bib || !gate || !buoy)
            return Error(responder, Status::BadRequest, unreadable);
        e.id = id.toLower().toLatin1();
        e.bib = *bib;
        e.gate = *gate;
        e.buoy = *buoy;
        e.reason = o.value(QStringLiteral("reason")).toString();
        batch.push_back(std::move(e));
    }
    const auto answers =
        board.submit(body.value(QStringLiteral("token")).toString().toLatin1(), batch);
    if (!answers)
        return Error(
            responder, Status::Unauthorized,
            QStringLiteral("この端末のログインは使えなくなりました。PINを入れ直してください。"));
    QJsonArray results;
    bool otherGate = false, unlogged = false;
    for (const judges::EntryAnswer& a : *answers) {
        QJsonObject r{{QStringLiteral("id"), QString::fromLatin1(a.id)}};
        if (a.unlogged) {
            r.insert(QStringLiteral("retry"), true);
            unlogged = true;
        } else {
            r.insert(QStringLiteral("seq"), a.seq);
            if (!a.refused.isEmpty()) r.insert(QStringLiteral("refused"), a.refused);
            otherGate |= a.otherGate;
        }
        results.append(r);
    }
    Json(responder,
         unlogged    ? Status::ServiceUnavailable
         : otherGate ? Status::Forbidden
                     : Status::Ok,
         {{QStringLiteral("results"), results}});
}

}  // namespace

void AnswerJudge(const QHttpServerRequest& request, QTcpSocket* socket,
                 QHttpServerResponder& responder, judges::JudgeBoard* board) {
    const QString path = request.url().path();
    const auto method = request.method();
    using Method = QHttpServerRequest::Method;
    if (path == QLatin1String("/judge")) {
        if (method != Method::Get && method != Method::Head) {
            responder.write(QByteArrayLiteral("405 Method Not Allowed\n"),
                            {{"Content-Type", "text/plain; charset=utf-8"}, {"Allow", "GET, HEAD"}},
                            Status::MethodNotAllowed);
            return;
        }
        const Page& page = JudgePage();
        // Kept by the phone's browser, so that the page opens again while the venue's network
        // is away; the queue of entries it holds lives in the browser's storage, not here.
        const Headers headers{{"Content-Type", "text/html; charset=utf-8"},
                              {"Cache-Control", "max-age=86400"},
                              {"ETag", page.etag}};
        if (request.value("If-None-Match") == page.etag)
            Answer(responder, Status::NotModified, headers, QByteArray(), false);
        else
            Answer(responder, Status::Ok, headers, page.html, method == Method::Get);
        return;
    }
    const bool login = path == QLatin1String("/judge/login");
    if (!login && path != QLatin1String("/judge/entries")) {
        responder.write(QByteArrayLiteral("404 Not Found\n"), "text/plain; charset=utf-8",
                        Status::NotFound);
        return;
    }
    if (method != Method::Post) {
        responder.write(QByteArrayLiteral("405 Method Not Allowed\n"),
                        {{"Content-Type", "text/plain; charset=utf-8"}, {"Allow", "POST"}},
                        Status::MethodNotAllowed);
        return;
    }
    if (request.body().size() > 64 * 1024) {
        Error(responder, Status::PayloadTooLarge, QStringLiteral("送られた内容が大きすぎます。"));
        return;
    }
    if (!board) {
        Error(responder, Status::ServiceUnavailable,
              QStringLiteral("大会のブックが読み込まれていません。"));
        return;
    }
    if (login)
        Login(request, socket, responder, *board);
    else
        Entries(request, responder, *board);
}

}  // namespace zalvik
