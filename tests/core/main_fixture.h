// The node core wired to recording fakes, a fake clock and real queues and log folder.
#pragma once

#include "common/datetime.h"
#include "core/node_core.h"
#include "core_fakes.h"
#include "server/ccommand.h"
#include "server/server_queues.h"
#include "support/fake_clock.h"
#include "support/recording_dialogs.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace gw::test {

inline std::string readAll(const std::string& path) {
    QFile file(QString::fromStdString(path));
    return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : "<missing>";
}

class NodeCoreTest : public testing::Test {
  protected:
    QTemporaryDir dir;
    SettingsStore settings = SettingsStore::atFile(dir.path().toStdString() + "/SMS.ini");
    FakeClock clock{QDateTime(QDate(2026, 5, 14), QTime(10, 30, 0))};
    RecordingDialogs dialogs;
    FakeRadio radio;
    FakeSetup setup;
    ServerQueues queues;
    NodeCore core{settings, clock, dialogs, queues};
    // What the views were last told of the traffic column and a restore at shutdown.
    Traffic traffic = Traffic::None;
    std::string restoring;

    void SetUp() override {
        setup.folder = dir.path().toStdString();
        // Each case has a spool of its own.
        qputenv("XDG_DATA_HOME", (dir.path() + "/data").toUtf8());
        QObject::connect(&core, &NodeCore::trafficChanged, [this](int, Traffic t) { traffic = t; });
        QObject::connect(&core, &NodeCore::restoring,
                         [this](const std::string& text) { restoring = text; });
        ASSERT_TRUE(core.startUp("1"));
        core.handOver(radio, setup);
    }
    std::string logText() const { return readAll(dir.path().toStdString() + "/N0CALL_1_05.log"); }
    std::string stamp() const { return generalDateTime(clock.now()); }
    void tick(int n = 1) {
        for (int i = 0; i < n; ++i) {
            clock.advance(std::chrono::minutes(1));
            core.heartbeat();
        }
    }
    // A radio user on port 1: connects, then types lines.
    void connectUser(const std::string& letter, const std::string& call) {
        core.StatusEvent("S1" + letter + "*** CONNECTED to " + call);
        radio.data.clear();
        radio.files.clear();
    }
    void say(const std::string& letter, const std::string& text) {
        core.DataEvent("D1" + letter + text);
    }
    std::unique_ptr<CCommand> takeRequest() { return queues.CommandQueue.RemoveFirst(); }
    // Answers a request the way the server link does and lets one reply tick run.
    void answer(const CCommand& request, std::unique_ptr<CResponse> reply) {
        reply->Session = request.Session;
        reply->Command = request.Command;
        reply->Mid = request.Mid;
        queues.ReplyQueue.Add(std::move(reply));
        core.poll();
    }
    static std::unique_ptr<CResponse> ok() {
        auto reply = std::make_unique<CResponse>();
        reply->Error = "OK";
        return reply;
    }
    static std::unique_ptr<CResponse> failed(const std::string& error) {
        auto reply = std::make_unique<CResponse>();
        reply->Error = error;
        return reply;
    }
    static std::unique_ptr<CResponse> listOf(const std::vector<std::string>& mids) {
        auto reply = ok();
        reply->MidList = std::make_unique<CList<CMidEntry>>();
        for (const auto& mid : mids) {
            auto entry = std::make_unique<CMidEntry>();
            entry->Mid = mid;
            entry->Originated = QDateTime(QDate(2026, 5, 1), QTime(9, 5));
            entry->Size = 120;
            entry->From = "K4ABC";
            entry->Subject = "Hi " + mid;
            reply->MidList->Add(std::move(entry));
        }
        return reply;
    }
    std::string sentText() {
        std::string all = radio.allData();
        radio.data.clear();
        return all;
    }
    std::vector<std::string> monitorItems() const {
        return {core.monitor().followed().begin(), core.monitor().followed().end()};
    }
};

} // namespace gw::test
