// Recording stand-ins for the radio side and the setup window, so the core is driven
// without a TNC, a serial port or a network.
#pragma once

#include <functional>

#include "core/radio_side.h"
#include "core/setup_side.h"

#include <string>
#include <vector>

namespace gw::test {

class FakeRadio : public RadioSide {
  public:
    struct Sent {
        int port;
        std::string stream;
        std::string text;
    };
    std::vector<Sent> data, files;
    std::vector<std::string> calls; // every other call, in order
    bool port1 = true, port2 = false;
    long maxUsers1 = 10;
    IpConnectionType type = IpConnectionType::FullTime;
    std::string hangUpDelay = "1";
    bool fullTimeOk = true, connectionOk = true, dialupUp = false;

    void SendData(int p, const std::string& s, const std::string& d) override {
        data.push_back({p, s, d});
    }
    std::size_t fileSize = 0; // what SendFile says it sent
    std::size_t SendFile(int p, const std::string& s, const std::string& f) override {
        files.push_back({p, s, f});
        return fileSize;
    }
    void SendDisconnect(int p, const std::string& s) override {
        calls.push_back("SendDisconnect " + std::to_string(p) + s);
    }
    std::string GetLabel(int n) override {
        return n >= 1 && n <= 10 ? std::string("1/") + "ABCDEFGHIJ"[n - 1] : std::string();
    }
    bool bPort1() const override { return port1; }
    bool bPort2() const override { return port2; }
    long lMaxusers1() const override { return maxUsers1; }
    IpConnectionType ipConnectionType() const override { return type; }
    std::string hangUpDelayText() const override { return hangUpDelay; }
    bool bConnectedByDialup() const override { return dialupUp; }
    bool VerifyFullTime() override { return calls.push_back("VerifyFullTime"), fullTimeOk; }
    bool VerifyConnection() override { return calls.push_back("VerifyConnection"), connectionOk; }
    void hangUp() override { calls.push_back("hangUp"); }

    std::string allData() const {
        std::string all;
        for (const auto& s : data)
            all += s.text;
        return all;
    }
};

class FakeSetup : public SetupSide {
  public:
    bool log = true;
    std::string folder, call = "N0CALL", type = "KPC3", pass = "SECRET", address = "127.0.0.1";
    bool restore = true, open = true;
    std::vector<std::string> calls;

    bool logEnabled() const override { return log; }
    std::string filePath() const override { return folder; }
    std::string nodeCall() const override { return call; }
    std::string password() const override { return pass; }
    std::string serverAddress() const override { return address; }
    std::string tncType() const override { return type; }
    bool restoreChecked() const override { return restore; }
    bool portOpen() const override { return open; }
    void loadSetup(bool initialize) override {
        calls.push_back(initialize ? "loadSetup+initialize" : "loadSetup");
    }
    void openSetup() override { calls.push_back("openSetup"); }
    std::function<void()> onRestore;
    void Restore() override {
        calls.push_back("Restore");
        if (onRestore) onRestore();
    }
    void ClearHostMode() override { calls.push_back("ClearHostMode"); }
    void unloadSetup() override { calls.push_back("unloadSetup"); }
};

} // namespace gw::test
