// The node core with a real spool file, for the store-and-forward cases: a radio user on
// 1/A sends, asks, and the spool's retries run on the fake clock.
#pragma once

#include "main_fixture.h"

namespace gw::test {

class Spooling : public NodeCoreTest {
  protected:
    void SetUp() override {
        for (const auto& [key, value] : settingsBefore)
            settings.write("Client1", key, value);
        prepare();
        if (IsSkipped()) return;
        NodeCoreTest::SetUp();
        connectUser("A", "N0CALL");
    }
    // Runs before the node starts: the spool's file as a case wants it.
    virtual void prepare() {}
    std::string spoolFolder() const { return dir.path().toStdString() + "/data/gullwick/"; }
    std::string spoolPath() const { return spoolFolder() + "spool1.db"; }
    // The user writes a message to W1AW and ends it.
    void compose(const std::string& body) {
        say("A", "SP W1AW");
        say("A", "subject\r");
        say("A", body + "\r");
        say("A", "/EX");
    }
    // The user sends a message; the request queued next is taken off the queue.
    std::unique_ptr<CCommand> send(const std::string& body) {
        compose(body);
        radio.data.clear();
        return takeRequest();
    }
    std::unique_ptr<CCommand> ask(const std::string& line) {
        say("A", line);
        return takeRequest();
    }
    // Runs the spool's timer after `seconds`; its request, if it made one.
    std::unique_ptr<CCommand> retryAfter(int seconds) {
        clock.advance(std::chrono::seconds(seconds));
        core.forwardSpoolWhenDue();
        return takeRequest();
    }
    static std::unique_ptr<CResponse> refused(const std::string& why) {
        auto reply = failed(why);
        reply->Refused = true;
        return reply;
    }
    std::vector<std::pair<std::string, std::string>> settingsBefore;
};

} // namespace gw::test
