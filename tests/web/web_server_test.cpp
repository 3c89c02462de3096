// The node's web server over real HTTP on 127.0.0.1: the checks every request passes, and the
// console's login, session and token.
#include "setup/web_password.h"
#include "support/core_rig.h"
#include "support/fake_clock.h"
#include "support/fake_event_pump.h"
#include "web/web_server.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTest>
#include <gtest/gtest.h>

namespace gw::test {
namespace {

struct Answer {
    int status = 0;
    QByteArray head;
    QByteArray body;
    QJsonObject json() const { return QJsonDocument::fromJson(body).object(); }
    bool hasHeader(const QByteArray& line) const { return head.contains("\r\n" + line); }
};

class WebServerTest : public CoreRig<FakeClock, FakeEventPump> {
  protected:
    std::unique_ptr<WebServer> web;
    QByteArray host;

    void SetUp() override {
        qputenv("XDG_DATA_HOME", (dir.path() + "/data").toUtf8());
        settings.write("Client1", "MBOCall", "N0CALL");
        settings.write("Client1", "FilePath", dir.path().toStdString());
        ASSERT_TRUE(startCore("1"));
        setup->LoadSettings();
        WebConfig config;
        config.port = 0;
        web = std::make_unique<WebServer>(WebServer::Services{*core, *setup, settings, clock},
                                          config);
        ASSERT_TRUE(web->start()) << web->problem();
        host = "127.0.0.1:" + QByteArray::number(web->port());
    }

    // A connection to the page from `from` (one of this machine's loopback addresses).
    std::unique_ptr<QTcpSocket> open(const char* from = "127.0.0.1") {
        auto socket = std::make_unique<QTcpSocket>();
        EXPECT_TRUE(socket->bind(QHostAddress(from)));
        socket->connectToHost(QHostAddress::LocalHost, web->port());
        EXPECT_TRUE(socket->waitForConnected(5000));
        return socket;
    }
    Answer send(const QByteArray& method, const QByteArray& path, QList<QByteArray> headers = {},
                const QByteArray& body = {}, const char* from = "127.0.0.1") {
        QByteArray raw = method + " " + path + " HTTP/1.1\r\n";
        if (std::none_of(headers.begin(), headers.end(),
                         [](const QByteArray& h) { return h.startsWith("Host:"); }))
            headers.prepend("Host: " + host);
        if (std::none_of(headers.begin(), headers.end(),
                         [](const QByteArray& h) { return h.startsWith("Content-Length:"); }))
            headers.append("Content-Length: " + QByteArray::number(body.size()));
        for (const QByteArray& header : headers)
            raw += header + "\r\n";
        raw += "\r\n" + body;
        const std::unique_ptr<QTcpSocket> socket = open(from);
        socket->write(raw);
        QByteArray data;
        Answer answer;
        const bool whole = QTest::qWaitFor(
            [&] {
                data += socket->readAll();
                const qsizetype end = data.indexOf("\r\n\r\n");
                if (end < 0) return false;
                const QRegularExpressionMatch length =
                    QRegularExpression("(?i)\r\ncontent-length: *(\\d+)").match(data.left(end));
                const qsizetype size = length.hasMatch() ? length.captured(1).toLongLong() : 0;
                if (data.size() < end + 4 + size) return false;
                answer.head = data.left(end + 2);
                answer.body = data.mid(end + 4, size);
                answer.status = data.mid(9, 3).toInt();
                return true;
            },
            5000);
        EXPECT_TRUE(whole) << "no whole answer to " << method.toStdString() << " "
                           << path.toStdString() << ": " << data.toStdString();
        return answer;
    }
    Answer post(const QByteArray& path, const QJsonObject& form, QList<QByteArray> headers = {},
                const char* from = "127.0.0.1") {
        headers << "Origin: http://" + host << "Content-Type: application/json";
        return send("POST", path, headers, QJsonDocument(form).toJson(), from);
    }
    // Whether the server closes the connection within `ms` milliseconds.
    static bool closedWithin(QTcpSocket& socket, int ms) {
        return QTest::qWaitFor(
            [&] {
                socket.readAll();
                return socket.state() == QAbstractSocket::UnconnectedState;
            },
            ms);
    }
    std::string logTail() const {
        std::string all;
        for (const NodeLog::TailLine& line : core->nodeLog().tail())
            all += line.text + "\n";
        return all;
    }
};

TEST_F(WebServerTest, RequestsFromElsewhereOrTooLongAreRefusedAndEveryAnswerForbidsInlineScript) {
    const Answer page = send("GET", "/");
    EXPECT_EQ(page.status, 200);
    EXPECT_TRUE(page.hasHeader("Content-Security-Policy: default-src 'none'; script-src 'self';"))
        << page.head.toStdString();
    EXPECT_TRUE(page.hasHeader("X-Content-Type-Options: nosniff"));
    // A page elsewhere whose name was pointed at 127.0.0.1 reads nothing.
    const QByteArray elsewhere = "attacker.example:" + QByteArray::number(web->port());
    EXPECT_EQ(send("GET", "/api/status", {"Host: " + elsewhere}).status, 403);
    EXPECT_EQ(
        send("GET", "/api/status", {"Host: " + elsewhere, "X-Forwarded-Host: " + elsewhere}).status,
        403);
    // POSTs from another site, or without an Origin, change nothing.
    settings.write("Client1", kWebPasswordKey, hashWebPassword("correct horse"));
    const QByteArray form = R"({"password":"correct horse"})";
    for (const QList<QByteArray>& origin :
         {QList<QByteArray>{"Origin: http://attacker.example"},
          QList<QByteArray>{"Origin: http://" + host + ".evil.example"}, QList<QByteArray>{}}) {
        const Answer crossSite = send("POST", "/api/login", origin, form);
        EXPECT_EQ(crossSite.status, 403);
        EXPECT_EQ(crossSite.json()["error"].toString(), "Cross-site request refused.");
    }
    // A body announced too long is refused before any of it is sent; one of no announced length
    // (chunked) is cut off once it grows too long; a header too long is refused.
    EXPECT_EQ(
        send("POST", "/api/login", {"Origin: http://" + host, "Content-Length: 1000000000"}).status,
        413);
    const std::unique_ptr<QTcpSocket> chunked = open();
    chunked->write("POST /api/login HTTP/1.1\r\nHost: " + host +
                   "\r\nTransfer-Encoding: chunked\r\n\r\n");
    const QByteArray chunk = "4000\r\n" + QByteArray(0x4000, 'x') + "\r\n";
    for (int i = 0; i < 8 && chunked->state() == QAbstractSocket::ConnectedState; ++i) {
        chunked->write(chunk);
        (void)chunked->waitForBytesWritten(1000);
    }
    EXPECT_TRUE(closedWithin(*chunked, 5000));
    EXPECT_GE(send("GET", "/", {"X-Filler: " + QByteArray(70 * 1024, 'y')}).status, 400);
    settings.remove("Client1", kWebPasswordKey);
    // Without a password set, the console says how to set one.
    const Answer noPassword = post("/api/login", {{"password", "anything"}});
    EXPECT_EQ(noPassword.status, 403);
    EXPECT_EQ(noPassword.json()["error"].toString(),
              "No web console password is set; set one with: brevane --web-password 1");
    EXPECT_EQ(queues.CommandQueue.Count(), 0);
}

TEST_F(WebServerTest, TheConsoleNeedsASessionAndItsTokenAndKeepsKillAndSendToTheNodesCall) {
    settings.write("Client1", kWebPasswordKey, hashWebPassword("correct horse"));
    EXPECT_EQ(post("/api/login", {{"password", "wrong password"}}).status, 401);
    EXPECT_EQ(post("/api/login", {{"password", "correct horse"}}).status, 429);
    clock.advance(std::chrono::seconds(2));
    const Answer login = post("/api/login", {{"password", "correct horse"}});
    ASSERT_EQ(login.status, 200) << login.body.toStdString();
    const QRegularExpressionMatch cookie =
        QRegularExpression("\r\nSet-Cookie: (gw_session=[^;]+); HttpOnly; SameSite=Strict; Path=/; "
                           "Max-Age=\\d+\r\n")
            .match(login.head);
    ASSERT_TRUE(cookie.hasMatch()) << login.head.toStdString();
    const QByteArray session = "Cookie: " + cookie.captured(1).toLatin1();
    const QByteArray token = "X-Gullwick-Token: " + login.json()["token"].toString().toLatin1();

    const QJsonObject list{{"command", "L"}, {"call", "n1call"}};
    EXPECT_EQ(post("/api/console", list).status, 401);
    EXPECT_EQ(post("/api/console", list, {session}).status, 403);
    EXPECT_EQ(post("/api/console", list, {session, "X-Gullwick-Token: forged"}).status, 403);
    EXPECT_EQ(queues.CommandQueue.Count(), 0);
    const Answer listed = post("/api/console", list, {session, token});
    EXPECT_EQ(listed.status, 200) << listed.body.toStdString();
    ASSERT_EQ(queues.CommandQueue.Count(), 1);
    EXPECT_EQ(send("GET", "/api/console", {session}).json()["command"].toString(),
              QString::fromStdString(core->consoleCommand()));

    EXPECT_EQ(post("/api/console", {{"command", "K"}, {"call", "N1CALL"}, {"mid", "X1"}},
                   {session, token})
                  .json()["error"]
                  .toString(),
              "K and SP are for the node's own call sign only.");
    // No user text makes a field of the server's protocol.
    const Answer forged =
        post("/api/console", {{"command", "L"}, {"call", "N1|X|Y"}}, {session, token});
    EXPECT_EQ(forged.status, 400);
    EXPECT_TRUE(forged.json()["error"].toString().contains("is not a call sign"));
    EXPECT_NE(logTail().find("web 127.0.0.1: L n1call\n"), std::string::npos) << logTail();
    const Answer refused =
        post("/api/console", {{"command", "R"}, {"call", "N1CALL"}}, {session, token});
    EXPECT_EQ(refused.json()["error"].toString(), "User's call and MID required...");
    EXPECT_TRUE(dialogs.shown().empty()) << "a web request must not open a message box";
    EXPECT_EQ(queues.CommandQueue.Count(), 1);
}

TEST_F(WebServerTest, AnAddressThatFailsWaitsAloneAndTheLogAndMetricsSayIt) {
    settings.write("Client1", kWebPasswordKey, hashWebPassword("correct horse"));
    EXPECT_EQ(post("/api/login", {{"password", "guess 1"}}, {}, "127.0.0.2").status, 401);
    EXPECT_EQ(post("/api/login", {{"password", "guess 2"}}, {}, "127.0.0.2").status, 429);
    EXPECT_EQ(post("/api/login", {{"password", "correct horse"}}).status, 200);
    EXPECT_EQ(post("/api/login", {{"password", "correct horse"}}, {}, "127.0.0.2").status, 429);
    const QByteArray metrics = send("GET", "/metrics").body;
    EXPECT_TRUE(metrics.contains("gullwick_web_logins_failed_total{node_instance=\"1\"} 1\n"))
        << metrics.toStdString();
    EXPECT_TRUE(metrics.contains("gullwick_web_logins_throttled_total{node_instance=\"1\"} 2\n"));
    clock.advance(std::chrono::seconds(2));
    EXPECT_EQ(post("/api/login", {{"password", "correct horse"}}, {}, "127.0.0.2").status, 200);
    const std::string log = logTail();
    EXPECT_NE(log.find("web 127.0.0.2: login refused, wrong password"), std::string::npos) << log;
    EXPECT_NE(log.find("web 127.0.0.2: 0 more wrong password(s) and 2 login(s) refused while "
                       "waiting, before this login"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("web 127.0.0.1: logged in to the console"), std::string::npos);

    // A stored hash that cannot be read is named as such, not taken for a wrong password.
    settings.write("Client1", kWebPasswordKey, "garbage");
    const Answer damaged = post("/api/login", {{"password", "correct horse"}});
    EXPECT_EQ(damaged.json()["error"].toString(),
              "The stored password is damaged; set it again with: brevane --web-password 1");
    EXPECT_TRUE(send("GET", "/api/console").json()["passwordDamaged"].toBool());
}

TEST_F(WebServerTest, BehindAnHttpsProxyTheSessionCookieIsSecure) {
    WebConfig config;
    config.port = 0;
    config.origin = "https://node.example.org";
    web = std::make_unique<WebServer>(WebServer::Services{*core, *setup, settings, clock}, config);
    ASSERT_TRUE(web->start()) << web->problem();
    host = "127.0.0.1:" + QByteArray::number(web->port());
    settings.write("Client1", kWebPasswordKey, hashWebPassword("correct horse"));
    const Answer login = send("POST", "/api/login", {"Origin: https://node.example.org"},
                              R"({"password":"correct horse"})");
    EXPECT_EQ(login.status, 200);
    EXPECT_TRUE(login.head.contains("; Max-Age=1800; Secure\r\n")) << login.head.toStdString();
}

TEST_F(WebServerTest, SilentAndDribblingConnectionsAreClosedWhenTheirTimeIsUp) {
    const std::unique_ptr<QTcpSocket> silent = open();
    const std::unique_ptr<QTcpSocket> dribbling = open();
    dribbling->write("GET /api/status HTTP/1.1\r\nHo");
    EXPECT_FALSE(closedWithin(*dribbling, 600));
    clock.advance(HttpServer::Limits{}.timeout);
    EXPECT_TRUE(closedWithin(*silent, 2000));
    EXPECT_TRUE(closedWithin(*dribbling, 2000));
    EXPECT_EQ(send("GET", "/api/status").status, 200);
}

TEST_F(WebServerTest, MonitorLinesKeepTheirBytesAndAPageFromAnEarlierRunStartsOver) {
    core->handOver(*setup, *setup);
    core->MonitorMsg(1, "A", std::string("D1Acaf\xE9 <b>73</b>"));
    for (const char* after : {"0", "99999"}) {
        const QJsonObject answer =
            send("GET", QByteArray("/api/monitor?stream=1&after=") + after).json();
        const QJsonArray lines = answer["lines"].toArray();
        ASSERT_EQ(lines.size(), 1) << after;
        EXPECT_EQ(lines[0].toObject()["text"].toString(),
                  QString::fromUtf8("1/A:  caf\u00e9 <b>73</b>"));
        EXPECT_EQ(answer["last"].toInteger(), lines[0].toObject()["seq"].toInteger());
    }
}

TEST_F(WebServerTest, SetAsideMessagesAreShownAndSentAgainOnTheOperatorsWord) {
    Spool& spool = core->spool();
    ASSERT_EQ(spool.add({"SMS_ASIDE001", "N1CALL", "W1AW", "", "s", "b", clock.now()}),
              Spool::AddResult::Stored);
    ASSERT_TRUE(spool.setAside("SMS_ASIDE001", "Access denied for N0CALL"));
    const QJsonObject status = send("GET", "/api/status").json()["spool"].toObject();
    EXPECT_EQ(status["state"].toString(), "ok");
    EXPECT_EQ(status["setAside"].toInt(), 1);
    EXPECT_EQ(status["waiting"].toInt(), 0);
    EXPECT_TRUE(send("GET", "/metrics")
                    .body.contains("gullwick_spool_set_aside_messages{node_instance=\"1\"} 1\n"));

    EXPECT_EQ(send("GET", "/api/spool").status, 401);
    settings.write("Client1", kWebPasswordKey, hashWebPassword("correct horse"));
    const Answer login = post("/api/login", {{"password", "correct horse"}});
    ASSERT_EQ(login.status, 200);
    const QByteArray session = "Cookie: " + QRegularExpression("Set-Cookie: (gw_session=[^;]+);")
                                                .match(login.head)
                                                .captured(1)
                                                .toLatin1();
    const QByteArray token = "X-Gullwick-Token: " + login.json()["token"].toString().toLatin1();
    const QJsonArray rows = send("GET", "/api/spool", {session}).json()["setAside"].toArray();
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows[0].toObject()["mid"].toString(), "SMS_ASIDE001");
    EXPECT_EQ(rows[0].toObject()["reason"].toString(), "Access denied for N0CALL");

    const QJsonObject retry{{"action", "retry"}, {"mid", "SMS_ASIDE001"}};
    EXPECT_EQ(post("/api/spool", retry, {session}).status, 403);
    EXPECT_EQ(post("/api/spool", retry, {session, token}).status, 200);
    EXPECT_EQ(spool.figures()->waiting, 1);
    EXPECT_EQ(spool.figures()->setAside, 0);
    EXPECT_EQ(post("/api/spool", {{"action", "drop"}, {"mid", "SMS_ASIDE001"}}, {session, token})
                  .json()["error"]
                  .toString(),
              "No message SMS_ASIDE001 is set aside.");
}

} // namespace
} // namespace gw::test
