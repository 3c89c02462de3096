// The TNC dispatch that the setup window owns: it chooses the driver by the TNC type text,
// splits the core's text to the packet length, polls the TNC's line every 200 ms, hosts the
// drivers (TncHost) and reports a failing line once, closing the users' streams. A driver
// is never replaced or freed while a call on it is on the stack; its waits end early on a stop.
#pragma once

#include "common/clock.h"
#include "tnc/cagw.h"
#include "tnc/ckam.h"
#include "tnc/ckan_multi.h"
#include "tnc/ckan_single.h"
#include "tnc/ckiss.h"
#include "tnc/ctnc2.h"
#include "tnc/tnc_host.h"

#include <QObject>
#include <QTimer>
#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace gw {

class MainWindowPort;
class TncLine;
class TncSetup;

enum class TncFamily { Unsupported, KanSingle, KanMulti, Kam, Tnc2, Agw, Kiss };
TncFamily tncFamily(const std::string& typeText);

class TncDispatch final : public QObject, public TncHost {
    Q_OBJECT
  public:
    struct Services {
        SettingsStore& settings;
        Dialogs& dialogs;
        EventPump& pump;
        const Clock& clock;
    };

    TncDispatch(TncSetup& setup, MainWindowPort& main, TncLine& serial, Services services,
                QObject* parent = nullptr);
    ~TncDispatch() override;

    // A new driver of the type's family in its member (replacing the old one); nullptr for
    // an unsupported type. Both refuse (NodeError kBusy) while a driver call is running.
    TncDriver* CreateDriver(const std::string& typeText);
    void ReleaseDriver(const std::string& typeText);

    // Held around every call into a driver that may wait (Init, a check, Restore, ...).
    class DriverCall {
      public:
        explicit DriverCall(TncDispatch& dispatch) : m_dispatch(dispatch) {
            ++m_dispatch.m_driverCalls;
        }
        ~DriverCall() { --m_dispatch.m_driverCalls; }
        DriverCall(const DriverCall&) = delete;
        DriverCall& operator=(const DriverCall&) = delete;

      private:
        TncDispatch& m_dispatch;
    };
    // A driver call, a polling tick or a driver event is on the stack.
    bool busy() const;
    static constexpr long kBusy = 0x80047930;
    // How long a silent TNC is given at shutdown before the rest of the restore is dropped.
    static constexpr std::chrono::seconds kShutdownSilence{10};
    // The driver the type text selects now; nullptr when unsupported or not created.
    TncDriver* driver(const std::string& typeText) const;

    void SendData(int nPort, const std::string& sStreamID, const std::string& sData);
    std::size_t SendFile(int nPort, const std::string& sStreamID, const std::string& sFile);
    void SendDisconnect(int nPort, const std::string& sStreamID);
    std::string GetLabel(int n) const;
    void Restore();
    void ClearHostMode();
    std::string ReadStartupFile(const std::string& sPath) override;
    std::string ReadFromTextFile(const std::string& sPath) const;
    long GetPaclen(int nPort);

    // The line to the selected type's TNC: the serial port, or the AGW or KISS driver's line.
    TncLine& line() const;
    // The KISS driver while type KISS is selected and initialized; nullptr otherwise.
    const CKISS* kiss() const;

    // The polling tick, every 200 ms (50 ms for type KISS); public so that tests tick it
    // themselves.
    static constexpr std::chrono::milliseconds kPoll{200};
    static constexpr std::chrono::milliseconds kKissPoll{50};
    void tmrPollSerial_Timer();
    void setPolling(bool enabled);
    bool polling() const { return m_pollTimer.isActive(); }

    // TncHost
    void sendToTnc(std::string_view text) override;
    std::string receiveFromTnc() override;
    std::string txtPath() const override;
    std::string comboType() const override;
    bool bPort1() const override;
    bool bPort2() const override;
    bool chkRestore() const override;
    std::string agwAddress() const override;
    std::string nodeCall() const override;
    std::string agwPaclen() const override;
    KissSettings kissSettings() const override;
    long lMaxusers1() const override { return m_lMaxusers1; }
    long lMaxusers2() const override { return m_lMaxusers2; }
    void setLMaxusers1(long value) override { m_lMaxusers1 = value; }
    void setLMaxusers2(long value) override { m_lMaxusers2 = value; }
    std::string lblInitializing() const override;
    void setLblInitializing(const std::string& text) override;
    std::string settingsSection() const override;
    SettingsStore& settings() override { return m_services.settings; }
    Dialogs& dialogs() override { return m_services.dialogs; }
    EventPump& pump() override { return m_services.pump; }
    // The drivers' clock: it runs out at once when their waits are to end early.
    const Clock& clock() const override { return m_waitClock; }
    void StatusEvent(const std::string& sStatus) override;
    void DataEvent(const std::string& sData) override;
    void reportTnc(const std::string& text) override;
    void setTncStatus(const std::string& text, bool working) override;

  signals:
    // The line to the TNC failed (reported once until a read succeeds again); the users
    // connected through it have been disconnected.
    void serialFailed();

  private:
    // Real time, pushed far ahead at every reading while the drivers' waits are abandoned (a
    // stop, or a TNC silent at shutdown), so that every driver loop bounded by time ends.
    class WaitClock final : public Clock {
      public:
        explicit WaitClock(TncDispatch& owner) : m_owner(owner) {}
        QDateTime now() const override;
        std::chrono::milliseconds elapsed() const override;

      private:
        TncDispatch& m_owner;
        mutable std::chrono::milliseconds m_offset{0};
    };
    // A TNC operation at shutdown (Restore or ClearHostMode), watched for a silent TNC.
    struct ShutdownWatch {
        bool active = false;
        bool heard = false;
        bool givenUp = false;
        std::optional<std::chrono::milliseconds> firstSend;
    };
    bool waitsAbandoned() const;
    void runShutdownOperation(const std::function<void()>& operation, const char* what);

    struct Disconnect {
        int port;
        std::string stream;
    };
    CKantronics* kantronics(TncFamily family) const;
    void unsupported(const char* text);
    void sendPackets(int nPort, const std::string& sStreamID, const std::string& text);
    void runDeferredDisconnects();
    void reportReadFailure(const std::string& description);

    TncSetup& m_setup;
    MainWindowPort& m_main;
    TncLine& m_serial;
    Services m_services;
    WaitClock m_waitClock{*this};
    QTimer m_pollTimer;

    std::unique_ptr<CKANSingle> KPC1Port;
    std::unique_ptr<CKANMulti> KPC2Port;
    std::unique_ptr<CKAM> KAM;
    std::unique_ptr<CTNC2> TNC2;
    std::unique_ptr<CAGW> AGW;
    std::unique_ptr<CKISS> KISS;
    long m_lMaxusers1 = 0;
    long m_lMaxusers2 = 0;

    // The open start-up file: its lines and the next one to hand out.
    std::optional<std::vector<std::string>> m_startupLines;
    std::size_t m_startupNext = 0;

    int m_tickDepth = 0;
    int m_eventDepth = 0;
    bool m_runningDeferred = false;
    int m_driverCalls = 0;
    mutable ShutdownWatch m_shutdown;
    std::deque<Disconnect> m_deferred;
    bool m_readFailureReported = false;
};

} // namespace gw
