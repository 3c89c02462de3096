// A TNC driver's host for fuzzing: it records the events a driver raises, answers what the
// driver sends through a small script on a fake clock, and feeds the answers to the driver
// while it waits, as the polling timer does.
#pragma once

#include "common/settings_store.h"
#include "support/fake_clock.h"
#include "support/fake_event_pump.h"
#include "support/recording_dialogs.h"
#include "tnc/tnc_driver.h"
#include "tnc/tnc_host.h"

#include <QTemporaryDir>
#include <functional>
#include <string>
#include <vector>

namespace gw::fuzz {

class RecordingTncHost final : public TncHost {
  public:
    RecordingTncHost() : m_store(SettingsStore::atFile(storeFile())), m_pump(m_clock) {
        m_pump.setHook([this] {
            if (driver != nullptr && !m_inbox.empty()) driver->SerialIn(receiveFromTnc());
        });
    }

    TncDriver* driver = nullptr;
    // What the simulated TNC answers to text sent to it ("" for nothing).
    std::function<std::string(std::string_view)> answer;
    std::vector<std::string> statuses, data;
    std::vector<std::string> events; // statuses and data together, in the order raised
    bool port1 = true, port2 = true;
    std::string call;       // the node's call sign as the setup holds it
    bool tncWorking = true; // as the driver last set the TNC status

    void sendToTnc(std::string_view text) override {
        if (answer) m_inbox += answer(text);
    }
    std::string receiveFromTnc() override {
        std::string out;
        out.swap(m_inbox);
        return out;
    }
    std::string ReadStartupFile(const std::string&) override { return ""; }
    std::string txtPath() const override { return ""; }
    std::string comboType() const override { return "KPC3"; }
    bool bPort1() const override { return port1; }
    bool bPort2() const override { return port2; }
    bool chkRestore() const override { return false; }
    std::string agwAddress() const override { return "127.0.0.1:8000"; }
    std::string nodeCall() const override { return call; }
    std::string agwPaclen() const override { return ""; }
    KissSettings kissSettings() const override { return {}; }
    long lMaxusers1() const override { return m_users1; }
    long lMaxusers2() const override { return m_users2; }
    void setLMaxusers1(long value) override { m_users1 = value; }
    void setLMaxusers2(long value) override { m_users2 = value; }
    std::string lblInitializing() const override { return ""; }
    void setLblInitializing(const std::string&) override {}
    std::string settingsSection() const override { return "Client1"; }
    SettingsStore& settings() override { return m_store; }
    Dialogs& dialogs() override { return m_dialogs; }
    EventPump& pump() override { return m_pump; }
    const Clock& clock() const override { return m_clock; }
    void StatusEvent(const std::string& sStatus) override {
        statuses.push_back(sStatus);
        events.push_back(sStatus);
    }
    void DataEvent(const std::string& sData) override {
        data.push_back(sData);
        events.push_back(sData);
    }
    void setTncStatus(const std::string&, bool working) override { tncWorking = working; }
    void advance(std::chrono::milliseconds step) { m_clock.advance(step); }

  private:
    // One folder of the process's own, shared by its hosts: a file straight in the temporary
    // folder would be shared with other processes too.
    static std::string storeFile() {
        static const QTemporaryDir folder;
        return folder.path().toStdString() + "/SMS.ini";
    }
    SettingsStore m_store;
    FakeClock m_clock;
    FakeEventPump m_pump;
    RecordingDialogs m_dialogs;
    std::string m_inbox;
    long m_users1 = 0, m_users2 = 0;
};

} // namespace gw::fuzz
