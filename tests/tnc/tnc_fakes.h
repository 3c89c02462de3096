// Test doubles around the TNC dispatch: a serial line whose far end answers on a fake clock,
// a recording main window, a setup window of plain values, and a rig that wires them up with
// a polling timer that the event pump ticks, as the real timer would during a wait.
#pragma once

#include "common/node_error.h"
#include "common/settings_store.h"
#include "support/fake_clock.h"
#include "support/fake_event_pump.h"
#include "support/recording_dialogs.h"
#include "tnc/main_window_port.h"
#include "tnc/tnc_dispatch.h"
#include "tnc/tnc_line.h"
#include "tnc/tnc_setup.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <chrono>
#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace gw::test {

using namespace std::chrono_literals;

inline std::string fend(std::string_view body) {
    return std::string(1, '\xC0') + std::string(body) + '\xC0';
}

// The far end of a serial line: what the node wrote, and answers that arrive at set times.
class FakeSerial final : public TncLine {
  public:
    explicit FakeSerial(const Clock& clock) : m_clock(clock) {}
    std::function<void(const std::string&)> onWrite; // the simulated TNC
    bool open = true;
    bool failing = false;
    std::string written;

    bool PortOpen() const override { return open; }
    void DataToSend(std::string_view text) override {
        if (!open) return;
        written += text;
        if (onWrite) onWrite(std::string(text));
    }
    std::string DataToReceive() override {
        if (failing)
            throw NodeError(-2147190491, "CSerialPort", "Failure on Comm device read operation");
        std::string out;
        while (!m_inbox.empty() && m_inbox.front().first <= m_clock.elapsed()) {
            out += m_inbox.front().second;
            m_inbox.pop_front();
        }
        return out;
    }
    void reply(std::string text, std::chrono::milliseconds after = 0ms) {
        m_inbox.emplace_back(m_clock.elapsed() + after, std::move(text));
    }
    bool idle() const { return m_inbox.empty(); }

  private:
    const Clock& m_clock;
    std::deque<std::pair<std::chrono::milliseconds, std::string>> m_inbox;
};

class RecordingMain final : public MainWindowPort {
  public:
    std::vector<std::string> statuses, data, monitor, log;
    std::vector<std::string> events; // statuses and data together, in the order raised
    std::vector<int> traffic;
    std::string tncStatus;
    bool tncWorking = true;
    std::function<void(const std::string&)> onData;
    std::function<int(const std::string&, int)> index = [](const std::string& s, int) {
        const auto at = std::string("0ABCDEFGHIJ").find(s);
        return at == std::string::npos ? -1 : static_cast<int>(at);
    };

    void StatusEvent(const std::string& s) override {
        statuses.push_back(s);
        events.push_back(s);
    }
    void DataEvent(const std::string& s) override {
        data.push_back(s);
        events.push_back(s);
        if (onData) onData(s);
    }
    int Index(const std::string& s, int port) override { return index(s, port); }
    void MonitorMsg(int, const std::string&, const std::string& m) override {
        monitor.push_back(m);
    }
    void Log(const std::string& line) override { log.push_back(line); }
    void showOutgoingTraffic(int i) override { traffic.push_back(i); }
    void setTncStatus(const std::string& text, bool working) override {
        tncStatus = text;
        tncWorking = working;
    }
};

class FakeSetup final : public TncSetup {
  public:
    std::string type = "KPC3", path, inst = "1", progressText;
    std::string address, call = "N0CALL", paclen;
    bool port1 = true, port2 = false, restore = true;
    int shown = 0;
    std::string comboType() const override { return type; }
    std::string txtPath() const override { return path; }
    bool bPort1() const override { return port1; }
    bool bPort2() const override { return port2; }
    bool chkRestore() const override { return restore; }
    std::string instance() const override { return inst; }
    std::string agwAddress() const override { return address; }
    std::string nodeCall() const override { return call; }
    std::string agwPaclen() const override { return paclen; }
    KissSettings kiss;
    KissSettings kissSettings() const override { return kiss; }
    std::string lblInitializing() const override { return progressText; }
    void setLblInitializing(const std::string& text) override { progressText = text; }
    void showSetupWindow() override { ++shown; }
};

struct Rig {
    Rig()
        : store(SettingsStore::atFile(dir.filePath("SMS.ini").toStdString())), pump(clock),
          serial(clock),
          dispatch(setup, main, serial, TncDispatch::Services{store, dialogs, pump, clock}) {

        setup.path = dir.path().toStdString() + "/";
        // The polling timer, as it would fire while a driver waits.
        pump.setHook([this] {
            if (dispatch.polling()) dispatch.tmrPollSerial_Timer();
        });
    }
    void writeFile(const std::string& name, const std::string& content) {
        QFile file(dir.filePath(QString::fromStdString(name)));
        file.open(QIODevice::WriteOnly);
        file.write(content.data(), static_cast<qint64>(content.size()));
    }
    std::string section() const { return "Client" + setup.inst; }

    QTemporaryDir dir;
    SettingsStore store;
    FakeClock clock;
    FakeEventPump pump;
    RecordingDialogs dialogs;
    FakeSerial serial;
    FakeSetup setup;
    RecordingMain main;
    TncDispatch dispatch;
};

} // namespace gw::test
