// Store-and-forward end to end: with the server down two radio users send three messages and
// are told they are queued; the node is killed (SIGKILL) and started again, the server comes
// back, and each message is stored once, in the order queued, leaving the spool empty.
#include "node_rig.h"

#include <sqlite3.h>

namespace {
class SpoolEndToEnd : public gwtest::NodeRig {
  protected:
    std::string logText() const {
        QFile file(data() + "N0CALL_1_" + QDate::currentDate().toString("MM") + ".log");
        return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : "";
    }
    // The MIDs in the order the lines holding `marker` name them.
    static std::vector<std::string> midsIn(const std::string& text, const std::string& marker) {
        std::vector<std::string> mids;
        for (std::size_t at = text.find(marker); at != std::string::npos;
             at = text.find(marker, at + 1)) {
            const std::size_t start = text.rfind("SMS_", at);
            if (start != std::string::npos)
                mids.push_back(text.substr(start, text.find(' ', start) - start));
        }
        return mids;
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
};

constexpr const char* kQueued =
    " queued; it will be sent when the server can be reached.\\rSMS> 30";
} // namespace

TEST_F(SpoolEndToEnd, MessagesSurviveAnOutageAndAKillAndAreStoredOnceInOrder) {
    const QString db = dir.path() + "/smsd.sqlite";
    startServer({"--node", "N0CALL:SECRET", "--db", db});
    const QString port = QString::number(smsd->port());
    smsd->kill();
    writeSettings("KPC3", "127.0.0.1");
    std::string script;
    for (const auto& [user, call, texts] :
         {std::tuple{"1A", "N1CALL", std::vector<std::string>{"First", "Third"}},
          std::tuple{"1B", "N2CALL", std::vector<std::string>{"Second"}}}) {
        const std::string u = user;
        script += u + " connect " + call + "\n" + u + " expect SMS> 30\n";
        for (const std::string& text : texts)
            script += u + " send SP N3CALL\n" + u + " expect : 30\n" + u + " send " + text + "\n" +
                      u + " expect /EX 30\n" + u + " send Body " + text + "\n" + u + " send /EX\n" +
                      u + " expect" + kQueued + "\n";
        script += u + " wait 1000\n" + u + " send B\n" + u + " expect-disconnect 30\n";
    }
    startTnc({"--type", "KPC3"}, script.c_str());
    startNode();
    for (const char* user : {"1A", "1B"})
        ASSERT_TRUE(waitForSim(std::string(user) + " expect-disconnect ok", 60000))
            << simOutput << node.readAll().toStdString();
    EXPECT_EQ(simOutput.find("FAILED"), std::string::npos) << simOutput;
    const std::vector<std::string> queued = midsIn(logText(), " queued: Connection refused");
    ASSERT_EQ(queued.size(), 3u) << logText();
    EXPECT_EQ(spooled(), 3);

    node.kill();
    ASSERT_TRUE(node.waitForFinished(5000));
    tncsim.kill();
    ASSERT_TRUE(tncsim.waitForFinished(5000));
    simOutput.clear();
    startServer({"--node", "N0CALL:SECRET", "--db", db, "--port", port});
    ASSERT_EQ(QString::number(smsd->port()), port) << smsd->log();
    startTnc({"--type", "KPC3"}, "1A wait 1\n");
    startNode();

    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 60000 && midsIn(logText(), " forwarded.").size() < 3)
        node.waitForReadyRead(200);
    EXPECT_EQ(midsIn(logText(), " forwarded."), queued) << logText();
    EXPECT_EQ(spooled(), 0);
    const std::string listed = gwtest::exchange(smsd->port(), "L|N0CALL|SECRET|N3CALL|\r\n").reply;
    std::vector<std::string> stored;
    for (std::size_t at = 0; at < listed.size();) {
        const std::size_t end = listed.find("\r\n", at);
        if (end == std::string::npos) break;
        stored.push_back(listed.substr(at, listed.find('|', at) - at));
        at = end + 2;
    }
    EXPECT_EQ(stored, queued) << listed;
}
