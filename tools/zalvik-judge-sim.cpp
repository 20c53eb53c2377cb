// zalvik-judge-sim: plays a gate judge's phone for rehearsals. It logs in to the desk's live
// server with a judge's PIN and sends the entries of a file at a pace of so many a second, as
// the judge page does: each with a random 128-bit id, sent again (same id) until the desk
// answers it.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QRandomGenerator>
#include <QTimer>
#include <cstdio>
#include <deque>
#include <vector>

namespace {

const char kUsage[] =
    "使い方: zalvik-judge-sim --address HOST:PORT --pin PIN [--rate N] FILE\n"
    "\n"
    "ゲート審判の電話の代わりに、FILE の入力を本部（速報を公開している zalvik-race）へ送ります。\n"
    "FILE は1行に1件: ゼッケン,ゲート,ブイ（ゲートは1から、ブイは5種類の1〜5、または DQ）。\n"
    "空の行と # で始まる行は読み飛ばします。\n"
    "\n"
    "  --address HOST:PORT   速報のアドレス（例 192.168.1.10:8080）\n"
    "  --pin PIN             審判設定画面に出ている6桁のPIN\n"
    "  --rate N              1秒に送る件数（既定 1、0.5 なども可）\n"
    "  --help                この説明を表示します\n"
    "\n"
    "終了コード: 0 すべて受け付けられた、1 ログインできない、2 受け付けられない入力があった、\n"
    "3 指定やファイルの誤り。\n";

struct Entry {
    QString id;
    int bib = 0, gate = 0, buoy = 0;
    bool dq = false;
    QString line;
};

void Say(const QString& text, FILE* to = stdout) {
    std::fprintf(to, "%s\n", text.toUtf8().constData());
    std::fflush(to);
}

QString NewId() {
    quint32 words[4];
    QRandomGenerator::system()->fillRange(words);
    return QByteArray(reinterpret_cast<const char*>(words), sizeof words).toHex();
}

class Judge : public QObject {
  public:
    Judge(QString base, QString pin, double rate, std::vector<Entry> entries)
        : base_(std::move(base)), pin_(std::move(pin)), entries_(std::move(entries)) {
        for (size_t i = 0; i < entries_.size(); ++i) queue_.push_back(i);
        tick_.setInterval(static_cast<int>(1000 / rate));
        connect(&tick_, &QTimer::timeout, this, [this] { sendNext(); });
    }

    void start() { login(false); }

  private:
    QNetworkReply* post(const QString& path, const QJsonObject& body) {
        QNetworkRequest request(QUrl(base_ + path));
        request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
        request.setTransferTimeout(10000);
        return net_.post(request, QJsonDocument(body).toJson(QJsonDocument::Compact));
    }

    void login(bool again) {
        QNetworkReply* reply = post(QStringLiteral("/judge/login"), {{"pin", pin_}});
        connect(reply, &QNetworkReply::finished, this, [this, reply, again] {
            reply->deleteLater();
            const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
            const QJsonObject answer = QJsonDocument::fromJson(reply->readAll()).object();
            if (status != 200) {
                const QString why =
                    status == 0
                        ? QStringLiteral("本部につながりません（%1）。").arg(reply->errorString())
                        : answer.value("error").toString();
                Say(QStringLiteral("ログインできません: ") + why, stderr);
                QCoreApplication::exit(1);
                return;
            }
            token_ = answer.value("token").toString();
            if (!again) {
                QStringList gates;
                for (const QJsonValue& g : answer.value("gates").toArray())
                    gates << QString::number(g.toObject().value("gate").toInt());
                Say(QStringLiteral("ログインしました: %1 %2（ゲート%3）")
                        .arg(answer.value("event").toString(),
                             answer.value("judge").toObject().value("name").toString(),
                             gates.join(u',')));
            }
            sendNext();
            tick_.start();
        });
    }

    void sendNext() {
        if (queue_.empty() || inFlight_ > 0) return;
        if (waitUntil_ > 0 && clock_.elapsed() < waitUntil_) return;
        const size_t at = queue_.front();
        queue_.pop_front();
        const Entry& e = entries_[at];
        QJsonObject o{{"id", e.id}, {"bib", e.bib}, {"gate", e.gate}};
        if (e.dq)
            o.insert("dq", true);
        else
            o.insert("buoy", e.buoy);
        ++inFlight_;
        QNetworkReply* reply =
            post(QStringLiteral("/judge/entries"), {{"token", token_}, {"entries", QJsonArray{o}}});
        connect(reply, &QNetworkReply::finished, this, [this, reply, at] {
            reply->deleteLater();
            --inFlight_;
            const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
            const QJsonObject answer = QJsonDocument::fromJson(reply->readAll()).object();
            const QJsonObject result = answer.value("results").toArray().first().toObject();
            if (status == 401) {
                queue_.push_front(at);
                tick_.stop();
                login(true);
                return;
            }
            if (result.contains("seq")) {
                backoff_ = 0;
                const Entry& e = entries_[at];
                if (result.contains("refused")) {
                    refused_.push_back(e.line + QStringLiteral(": ") +
                                       result.value("refused").toString());
                    Say(QStringLiteral("拒否 %1: %2")
                            .arg(e.line, result.value("refused").toString()));
                } else {
                    Say(QStringLiteral("受付 %1 (番号%2)")
                            .arg(e.line)
                            .arg(result.value("seq").toInteger()));
                }
                if (++answered_ == entries_.size()) finish();
                return;
            }
            // Not answered (no network, the desk could not log it): the same id again later.
            backoff_ = std::min(backoff_ ? backoff_ * 2 : 1000, 30000);
            Say(QStringLiteral("未送信 %1: %2秒後に送り直します")
                    .arg(entries_[at].line)
                    .arg(backoff_ / 1000));
            queue_.push_front(at);
            waitUntil_ = clock_.elapsed() + backoff_;
        });
    }

    void finish() {
        tick_.stop();
        Say(QStringLiteral("%1件を送りました（受付%2件、拒否%3件）。")
                .arg(entries_.size())
                .arg(entries_.size() - refused_.size())
                .arg(refused_.size()));
        for (const QString& r : refused_)
            Say(QStringLiteral("受け付けられなかった入力 ") + r, stderr);
        QCoreApplication::exit(refused_.empty() ? 0 : 2);
    }

    QNetworkAccessManager net_;
    QString base_, pin_, token_;
    std::vector<Entry> entries_;
    std::deque<size_t> queue_;
    std::vector<QString> refused_;
    size_t answered_ = 0;
    int inFlight_ = 0;
    int backoff_ = 0;
    qint64 waitUntil_ = 0;
    QTimer tick_;
    QElapsedTimer clock_ = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
};

int Usage(const QString& why) {
    if (!why.isEmpty()) Say(QStringLiteral("zalvik-judge-sim: ") + why, stderr);
    std::fputs(kUsage, why.isEmpty() ? stdout : stderr);
    return why.isEmpty() ? 0 : 3;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    QString address, pin, file;
    double rate = 1;
    while (!args.isEmpty()) {
        const QString a = args.takeFirst();
        if (a == QLatin1String("--help")) return Usage({});
        if ((a == QLatin1String("--address") || a == QLatin1String("--pin") ||
             a == QLatin1String("--rate")) &&
            args.isEmpty())
            return Usage(a + QStringLiteral(" のあとに値がありません。"));
        if (a == QLatin1String("--address"))
            address = args.takeFirst();
        else if (a == QLatin1String("--pin"))
            pin = args.takeFirst();
        else if (a == QLatin1String("--rate"))
            rate = args.takeFirst().toDouble();
        else if (a.startsWith(QLatin1String("--")))
            return Usage(QStringLiteral("知らない指定です: ") + a);
        else
            file = a;
    }
    if (address.isEmpty() || pin.isEmpty() || file.isEmpty())
        return Usage(QStringLiteral("--address、--pin と FILE が必要です。"));
    if (!(rate > 0) || rate > 1000)
        return Usage(QStringLiteral("--rate は0より大きく1000以下です。"));

    QFile in(file);
    if (!in.open(QIODevice::ReadOnly))
        return Usage(QStringLiteral("「%1」を読めません。").arg(file));
    std::vector<Entry> entries;
    int number = 0;
    for (const QByteArray& raw : in.readAll().split('\n')) {
        ++number;
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.isEmpty() || line.startsWith(u'#')) continue;
        const QStringList f = line.split(u',');
        Entry e{NewId(), 0, 0, 0, false, line};
        bool okBib = false, okGate = false, okBuoy = true;
        if (f.size() == 3) {
            e.bib = f[0].trimmed().toInt(&okBib);
            e.gate = f[1].trimmed().toInt(&okGate);
            e.dq = f[2].trimmed().compare(QLatin1String("DQ"), Qt::CaseInsensitive) == 0;
            if (!e.dq) e.buoy = f[2].trimmed().toInt(&okBuoy);
        }
        if (!okBib || !okGate || !okBuoy || (!e.dq && (e.buoy < 1 || e.buoy > 5)))
            return Usage(QStringLiteral("「%1」の%2行目「%3」は ゼッケン,ゲート,ブイ（1〜5 か DQ）"
                                        "ではありません。")
                             .arg(file)
                             .arg(number)
                             .arg(line));
        entries.push_back(std::move(e));
    }
    if (entries.empty()) {
        Say(QStringLiteral("「%1」に送る入力がありません。").arg(file));
        return 0;
    }
    Judge judge(QStringLiteral("http://") + address, pin, rate, std::move(entries));
    QTimer::singleShot(0, &judge, [&judge] { judge.start(); });
    return app.exec();
}
