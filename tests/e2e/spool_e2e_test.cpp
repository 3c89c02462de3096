// Store-and-forward end to end: queued messages survive an outage and a SIGKILL and are stored
// once in order; one user's messages arrive in his order; refused ones are set aside and the
// operator's retry delivers once; a damaged file is reported in the journal, page and metrics.
#include "direwolf_rig.h"
#include "node_rig.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>
#include <algorithm>
#include <map>
#include <sqlite3.h>

namespace {
constexpr const char* kQueued =
    " queued; it will be sent when the server can be reached.\\rSMS> 30";
constexpr const char* kQueuedBehind =
    " queued; it will be sent after your earlier messages.\\rSMS> 30";

class SpoolEndToEnd : public gwtest::NodeRig {
  protected:
    std::string logText() const {
        QFile file(data() + "N0CALL_1_" + QDate::currentDate().toString("MM") + ".log");
        return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : "";
    }
    // The MIDs in the order the lines holding any of `markers` right after a MID name them.
    static std::vector<std::string> midsIn(const std::string& text,
                                           std::vector<std::string> markers) {
        std::map<std::size_t, std::string> found;
        for (const std::string& marker : markers)
            for (std::size_t at = text.find(marker); at != std::string::npos;
                 at = text.find(marker, at + 1)) {
                const std::size_t start = text.rfind("SMS_", at);
                if (start != std::string::npos && text.find(' ', start) == at)
                    found[at] = text.substr(start, at - start);
            }
        std::vector<std::string> mids;
        for (const auto& [at, mid] : found)
            mids.push_back(mid);
        return mids;
    }
    // Waits (at most a minute) until the log names `count` MIDs with `marker`.
    std::vector<std::string> awaitLogged(const std::string& marker, std::size_t count) {
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < 60000 && midsIn(logText(), {marker}).size() < count)
            node.waitForReadyRead(200);
        return midsIn(logText(), {marker});
    }
    // Messages still waiting in the node's spool file (-1 when it cannot be read).
    long long spooled() const {
        sqlite3* db = nullptr;
        long long count = -1;
        const std::string path = (data() + "spool1.db").toStdString();
        if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
            sqlite3_stmt* row = nullptr;
            if (sqlite3_prepare_v2(db, "SELECT count(*) FROM waiting", -1, &row, nullptr) ==
                    SQLITE_OK &&
                sqlite3_step(row) == SQLITE_ROW)
                count = sqlite3_column_int64(row, 0);
            sqlite3_finalize(row);
        }
        sqlite3_close(db);
        return count;
    }
    // The MIDs the server holds for N3CALL, in its order.
    std::vector<std::string> stored() const {
        const std::string listed =
            gwtest::exchange(smsd->port(), "L|N0CALL|SECRET|N3CALL|\r\n").reply;
        std::vector<std::string> mids;
        for (std::size_t at = 0; at < listed.size();) {
            const std::size_t end = listed.find("\r\n", at);
            if (end == std::string::npos) break;
            mids.push_back(listed.substr(at, listed.find('|', at) - at));
            at = end + 2;
        }
        return mids;
    }
    // A tncsim script line set for `user` sending `text` to N3CALL and expecting `answer`.
    static std::string sends(const std::string& user, const std::string& text, const char* answer) {
        return user + " send SP N3CALL\n" + user + " expect : 30\n" + user + " send " + text +
               "\n" + user + " expect /EX 30\n" + user + " send Body " + text + "\n" + user +
               " send /EX\n" + user + " expect" + answer + "\n";
    }
    // brevane run as the operator runs it; its exit status and what it printed.
    std::pair<int, std::string> brevane(const QStringList& arguments) {
        QProcess tool;
        tool.setProcessEnvironment(environment());
        tool.setProcessChannelMode(QProcess::MergedChannels);
        tool.start(QStringLiteral(BREVANE_PATH), arguments);
        tool.waitForFinished(10000);
        return {tool.exitCode(), tool.readAll().toStdString()};
    }
    QString db() const { return dir.path() + "/smsd.sqlite"; }
    // The server known once, then gone: the node is set up for it, and the port is kept for
    // its return.
    QString serverGoneAway() {
        startServer({"--node", "N0CALL:SECRET", "--db", db()});
        const QString port = QString::number(smsd->port());
        smsd->kill();
        writeSettings("KPC3", "127.0.0.1");
        return port;
    }
    // The users of `script` on a KPC3, until the node has queued the first message.
    void runUntilQueued(const std::string& script) {
        startTnc({"--type", "KPC3"}, script.c_str());
        startNode();
        ASSERT_TRUE(waitForSim("1A expect ok: queued; it will be sent when", 30000)) << simOutput;
    }
};
} // namespace

TEST_F(SpoolEndToEnd, MessagesSurviveAnOutageAndAKillAndAreStoredOnceInOrder) {
    const QString port = serverGoneAway();
    std::string script;
    for (const auto& [user, call, texts] :
         {std::tuple{"1A", "N1CALL", std::vector<std::string>{"First", "Third"}},
          std::tuple{"1B", "N2CALL", std::vector<std::string>{"Second"}}}) {
        const std::string u = user;
        script += u + " connect " + call + "\n" + u + " expect SMS> 30\n";
        for (const std::string& text : texts)
            script += sends(u, text, text == "Third" ? kQueuedBehind : kQueued);
        script += u + " wait 1000\n" + u + " send B\n" + u + " expect-disconnect 30\n";
    }
    startTnc({"--type", "KPC3"}, script.c_str());
    startNode();
    for (const char* user : {"1A", "1B"})
        ASSERT_TRUE(waitForSim(std::string(user) + " expect-disconnect ok", 60000))
            << simOutput << node.readAll().toStdString();
    EXPECT_EQ(simOutput.find("FAILED"), std::string::npos) << simOutput;
    const std::vector<std::string> queued =
        midsIn(logText(), {" queued: Connection refused", " queued behind the earlier"});
    ASSERT_EQ(queued.size(), 3u) << logText();
    EXPECT_EQ(spooled(), 3);

    node.kill();
    ASSERT_TRUE(node.waitForFinished(5000));
    tncsim.kill();
    ASSERT_TRUE(tncsim.waitForFinished(5000));
    simOutput.clear();
    startServer({"--node", "N0CALL:SECRET", "--db", db(), "--port", port});
    ASSERT_EQ(QString::number(smsd->port()), port) << smsd->log();
    // The first forwarding after a start waits a minute, or for a request that succeeds.
    startTnc({"--type", "KPC3"}, "1A connect N9CALL\n1A expect SMS> 30\n1A send LM\n"
                                 "1A expect SMS> 30\n");
    startNode();

    EXPECT_EQ(awaitLogged(" forwarded.", 3), queued) << logText();
    EXPECT_EQ(spooled(), 0);
    EXPECT_EQ(stored(), queued);
}

TEST_F(SpoolEndToEnd, OneUsersQueuedMessageAndHisNextReachTheServerInHisOrder) {
    const QString port = serverGoneAway();
    // The server is back before his second message, which must not overtake the first.
    const std::string script = "1A connect N1CALL\n1A expect SMS> 30\n" +
                               sends("1A", "First", kQueued) + "1A wait 3000\n" +
                               sends("1A", "Second", kQueuedBehind) +
                               "1A send B\n1A expect-disconnect 30\n";
    runUntilQueued(script);
    if (HasFatalFailure()) return;
    startServer({"--node", "N0CALL:SECRET", "--db", db(), "--port", port});
    ASSERT_TRUE(waitForSim("1A expect-disconnect ok", 30000)) << simOutput;
    EXPECT_EQ(simOutput.find("FAILED"), std::string::npos) << simOutput;
    const std::vector<std::string> sent = awaitLogged(" forwarded.", 2);
    ASSERT_EQ(sent.size(), 2u) << logText();
    EXPECT_EQ(stored(), sent);
    EXPECT_EQ(sent,
              midsIn(logText(), {" queued: Connection refused", " queued behind the earlier"}));
}

TEST_F(SpoolEndToEnd, MessagesRefusedForGoodAreSetAsideAndTheOperatorsRetryDeliversOnce) {
    const QString port = serverGoneAway();
    const std::string script = "1A connect N1CALL\n1A expect SMS> 30\n" +
                               sends("1A", "First", kQueued) + "1A wait 3000\n" +
                               sends("1A", "Second", kQueuedBehind) + "1A wait 3000\n" +
                               "1A send LM\n1A expect could not be sent: Access denied for "
                               "N0CALL\\r 30\n1A send B\n1A expect-disconnect 30\n";
    runUntilQueued(script);
    if (HasFatalFailure()) return;
    // The server is back, but no longer knows the node's password.
    startServer({"--node", "N0CALL:CHANGED", "--db", db(), "--port", port});
    ASSERT_TRUE(waitForSim("1A expect-disconnect ok", 30000)) << simOutput;
    EXPECT_EQ(simOutput.find("FAILED"), std::string::npos) << simOutput;
    const std::vector<std::string> aside = awaitLogged(" refused by the server, set aside", 2);
    ASSERT_EQ(aside.size(), 2u) << logText();
    EXPECT_NE(received().find("Mid: " + aside[0] + " could not be sent: Access denied for N0CALL"),
              std::string::npos)
        << received();

    auto [status, listed] = brevane({"--spool", "list", "1"});
    EXPECT_EQ(status, 0) << listed;
    EXPECT_NE(listed.find("Set aside (2):"), std::string::npos) << listed;
    EXPECT_NE(listed.find("UTC: Access denied for N0CALL"), std::string::npos) << listed;

    // The password is mended; the operator sends the first again, and drops the second.
    smsd->kill();
    startServer({"--node", "N0CALL:SECRET", "--db", db(), "--port", port});
    std::tie(status, listed) = brevane({"--spool", "retry", QString::fromStdString(aside[0]), "1"});
    EXPECT_EQ(status, 0) << listed;
    EXPECT_EQ(awaitLogged(" forwarded.", 1), std::vector<std::string>{aside[0]}) << logText();
    EXPECT_EQ(stored(), std::vector<std::string>{aside[0]});
    EXPECT_EQ(brevane({"--spool", "retry", QString::fromStdString(aside[0]), "1"}).first, 1);
    EXPECT_EQ(brevane({"--spool", "drop", QString::fromStdString(aside[1]), "1"}).first, 0);
    EXPECT_NE(brevane({"--spool", "list", "1"}).second.find("Set aside (0):"), std::string::npos);
    EXPECT_EQ(stored(), std::vector<std::string>{aside[0]}) << "delivered once";
}

TEST_F(SpoolEndToEnd, ADamagedSpoolIsReportedInTheJournalOnThePageAndInMetrics) {
    startServer({"--node", "N0CALL:SECRET"});
    QDir().mkpath(data());
    const std::string path = (data() + "spool1.db").toStdString();
    sqlite3* file = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &file), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(file,
                           "CREATE TABLE waiting(seq INTEGER PRIMARY KEY AUTOINCREMENT, mid TEXT "
                           "NOT NULL UNIQUE, sender TEXT NOT NULL, address_to TEXT NOT NULL, "
                           "address_cc TEXT NOT NULL, subject TEXT NOT NULL, body TEXT NOT NULL, "
                           "originated TEXT NOT NULL, bytes INTEGER NOT NULL);"
                           "INSERT INTO waiting(mid, sender, address_to, address_cc, subject, "
                           "body, originated, bytes) VALUES ('SMS_LOST0001', 'N1CALL', 'N3CALL', "
                           "'', 's', 'b', '2026-12-07T22:00:00.000', 20), ('SMS_LOST0002', "
                           "'N1CALL', 'N3CALL', '', 's', 'b', '2026-12-07T22:01:00.000', 20);",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(file);
    // The page of the table of waiting messages is overwritten.
    QFile damaged(QString::fromStdString(path));
    ASSERT_TRUE(damaged.open(QIODevice::ReadWrite));
    damaged.seek(4096);
    damaged.write(QByteArray(4096, '\x55'));
    damaged.close();
    writeSettings("KPC3", "127.0.0.1");
    const int webPort = gwtest::freePort(SOCK_STREAM);
    {
        QSettings ini(config() + "/gullwick/SMS.ini", QSettings::IniFormat);
        ini.setValue("Client1/WebServer", "True");
        ini.setValue("Client1/WebPort", webPort);
    }
    startNode();

    std::string output;
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 20000 && output.find("Web page on") == std::string::npos) {
        node.waitForReadyRead(200);
        output += node.readAll().toStdString();
    }
    for (const char* mid : {"SMS_LOST0001", "SMS_LOST0002"})
        EXPECT_NE(output.find(std::string("MID : ") + mid +
                              " could not be read from the damaged spool; it is lost."),
                  std::string::npos)
            << output;
    const auto get = [webPort](const char* path) {
        const std::string reply =
            gwtest::exchange(static_cast<std::uint16_t>(webPort),
                             std::string("GET ") + path + " HTTP/1.1\r\nHost: 127.0.0.1:" +
                                 std::to_string(webPort) + "\r\nConnection: close\r\n\r\n")
                .reply;
        const std::size_t body = reply.find("\r\n\r\n");
        return body == std::string::npos ? reply : reply.substr(body + 4);
    };
    const QJsonObject spool = QJsonDocument::fromJson(QByteArray::fromStdString(get("/api/status")))
                                  .object()["spool"]
                                  .toObject();
    EXPECT_EQ(spool["state"].toString(), "ok");
    EXPECT_EQ(spool["waiting"].toInt(), 0);
    const QJsonObject repair = spool["repair"].toObject();
    EXPECT_EQ(repair["lost"].toInt(), 2);
    EXPECT_TRUE(repair["keptAs"].toString().contains("spool1.db.damaged-"));
    EXPECT_NE(get("/metrics").find("gullwick_spool_repair_lost_messages{node_instance=\"1\"} 2\n"),
              std::string::npos);
}
