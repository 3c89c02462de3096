// The node's web server over real HTTP on 127.0.0.1: the checks every request passes, the
// console's login, session and token, and the shape of the JSON and metrics answers.
#include "common/settings_store.h"
#include "core/node_core.h"
#include "core/node_setup.h"
#include "server/frm_brevane.h"
#include "server/server_queues.h"
#include "support/fake_clock.h"
#include "support/fake_event_pump.h"
#include "support/recording_dialogs.h"
#include "web/web_password.h"
#include "web/web_server.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTemporaryDir>
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

class WebServerTest : public testing::Test {
  protected:
    QTemporaryDir dir;
    SettingsStore settings = SettingsStore::atFile(dir.path().toStdString() + "/SMS.ini");
    FakeClock clock;
    RecordingDialogs dialogs;
    ServerQueues queues;
    FakeEventPump pump;
    std::unique_ptr<NodeCore> core;
    std::unique_ptr<frmBrevane> link;
    std::unique_ptr<NodeSetup> setup;
    std::unique_ptr<WebServer> web;
    QByteArray host;

    void SetUp() override {
        qputenv("XDG_DATA_HOME", (dir.path() + "/data").toUtf8());
        settings.write("Client1", "MBOCall", "N0CALL");
        settings.write("Client1", "FilePath", dir.path().toStdString());
        core = std::make_unique<NodeCore>(settings, clock, dialogs, queues);
        ASSERT_TRUE(core->startUp("1"));
        link = std::make_unique<frmBrevane>(queues, *core, pump,
                                            frmBrevane::Options{frmBrevane::kServerPort, false});
        setup = std::make_unique<NodeSetup>(*core, *link,
                                            NodeSetup::Services{settings, clock, dialogs, pump});
        setup->LoadSettings();
        WebConfig config;
        config.port = 0;
        web = std::make_unique<WebServer>(WebServer::Services{*core, *setup, settings, clock},
                                          config);
        ASSERT_TRUE(web->start()) << web->problem();
        host = "127.0.0.1:" + QByteArray::number(web->port());
    }

    Answer send(const QByteArray& method, const QByteArray& path, QList<QByteArray> headers = {},
                const QByteArray& body = {}) {
        QByteArray raw = method + " " + path + " HTTP/1.1\r\n";
        if (std::none_of(headers.begin(), headers.end(),
                         [](const QByteArray& h) { return h.startsWith("Host:"); }))
            headers.prepend("Host: " + host);
        for (const QByteArray& header : headers)
            raw += header + "\r\n";
        raw += "Content-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, web->port());
        socket.write(raw);
        QByteArray data;
        Answer answer;
        QTest::qWaitFor(
            [&] {
                data += socket.readAll();
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
        return answer;
    }
    Answer post(const QByteArray& path, const QJsonObject& form, QList<QByteArray> headers = {}) {
        headers << "Origin: http://" + host << "Content-Type: application/json";
        return send("POST", path, headers, QJsonDocument(form).toJson());
    }
};

TEST_F(WebServerTest, RequestsFromElsewhereOrTooLongAreRefusedAndEveryAnswerForbidsInlineScript) {
    const Answer page = send("GET", "/");
    EXPECT_EQ(page.status, 200);
    EXPECT_TRUE(page.hasHeader("Content-Security-Policy: default-src 'none'; script-src 'self';"))
        << page.head.toStdString();
    EXPECT_TRUE(page.hasHeader("X-Content-Type-Options: nosniff"));
    // A page elsewhere whose name was pointed at 127.0.0.1 reads nothing.
    EXPECT_EQ(send("GET", "/api/status", {"Host: attacker.example:" + QByteArray::number(web->port())})
                  .status,
              403);
    // POSTs from another site, or without an Origin, change nothing.
    EXPECT_EQ(send("POST", "/api/login", {"Origin: http://attacker.example"}, "{}").status, 403);
    EXPECT_EQ(send("POST", "/api/login", {}, "{}").status, 403);
    EXPECT_EQ(post("/api/login", {{"password", QString(WebServer::kMaxBody, 'x')}}).status, 413);
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
                  .status,
              403);
    const Answer refused = post("/api/console", {{"command", "R"}, {"call", "N1CALL"}}, {session, token});
    EXPECT_EQ(refused.json()["error"].toString(), "User's call and MID required...");
    EXPECT_TRUE(dialogs.shown().empty()) << "a web request must not open a message box";
    EXPECT_EQ(queues.CommandQueue.Count(), 1);
}

TEST_F(WebServerTest, StatusIsJsonAndEveryMetricsLineIsACommentOrASample) {
    const Answer status = send("GET", "/api/status");
    EXPECT_EQ(status.status, 200);
    EXPECT_EQ(status.json()["node"].toObject()["call"].toString(), "N0CALL");
    const Answer metrics = send("GET", "/metrics");
    EXPECT_TRUE(metrics.hasHeader("Content-Type: text/plain; version=0.0.4")) << metrics.head.toStdString();
    const QRegularExpression sample(R"(^[a-z_]+\{instance="1"(,[a-z]+="[^"\\\n]*")*\} [0-9.e+-]+$)");
    for (const QByteArray& line : metrics.body.split('\n')) {
        if (line.isEmpty() || line.startsWith("# HELP ") || line.startsWith("# TYPE ")) continue;
        EXPECT_TRUE(sample.match(QString::fromUtf8(line)).hasMatch()) << line.toStdString();
    }
    EXPECT_TRUE(metrics.body.contains("\ngullwick_sessions_total{instance=\"1\"} 0\n"));
}

} // namespace
} // namespace gw::test
