// Fuzzes the radio users' command interpreter: arbitrary connects, disconnects and lines on
// arbitrary streams (the SP dialogue included), and server replies in between. A line only
// ever queues requests of its own stream, each with that stream's call sign, which the server
// reads back unchanged; a reply reaches only the stream that asked; the monitor stays bounded.
#include "../core/core_fakes.h"
#include "common/text.h"
#include "core/node_core.h"
#include "fuzz_support.h"
#include "server/ccommand.h"
#include "server/server_queues.h"
#include "server/session_key.h"
#include "support/fake_clock.h"
#include "support/recording_dialogs.h"
#include "wire.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <deque>

using namespace gw;

namespace {
const std::string kLetters = "ABCDEFGHIJ";

std::vector<std::string> addresses(const std::string& list) {
    std::vector<std::string> out;
    std::size_t start = 0;
    for (;;) {
        const std::size_t semi = list.find(';', start);
        out.push_back(trim(list.substr(start, semi == std::string::npos ? semi : semi - start)));
        if (semi == std::string::npos) return out;
        start = semi + 1;
    }
}

// Every request one event queued: its own stream's, with that stream's call, read back whole.
void checkNewRequests(NodeCore& core, ServerQueues& queues, int index,
                      std::deque<std::unique_ptr<CCommand>>& inFlight) {
    while (auto request = queues.CommandQueue.RemoveFirst()) {
        FUZZ_CHECK(sessionStream(request->Session) == index, "a line queues only its own stream's");
        FUZZ_CHECK(request->UserCall == core.streams()[index].CallSign, "with that stream's call");
        FUZZ_CHECK(request->MBOCall == "N0NODE" && request->MBOPassword == "SECRET",
                   "with the node's own call and password");
        CCommand copy = *request;
        const std::string text = copy.CommandToServer();
        if (!text.empty()) {
            const smsd::ParseResult parsed = smsd::parseRequest(text);
            FUZZ_CHECK(parsed.status == smsd::ParseResult::Status::Complete, "the server reads it");
            FUZZ_CHECK(parsed.request.userCall == trim(request->UserCall),
                       "the server reads the same user");
            if (parsed.request.command == 'S')
                FUZZ_CHECK(parsed.request.to == addresses(request->AddressTo),
                           "the server reads the same addressees");
        }
        inFlight.push_back(std::move(request));
    }
}
// Each run's settings, lock and log files: in memory where the system offers a RAM folder,
// since the settings store syncs every write to disk and the disk would set the pace.
QString runFolderTemplate() {
    const QFileInfo shm("/dev/shm");
    return shm.isDir() && shm.isWritable() ? "/dev/shm/gw-fuzz-XXXXXX" : QString();
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    gw::fuzz::ensureApplication();
    static const QString folderTemplate = runFolderTemplate();
    QTemporaryDir dir = folderTemplate.isEmpty() ? QTemporaryDir() : QTemporaryDir(folderTemplate);
    SettingsStore settings = SettingsStore::atFile(dir.path().toStdString() + "/SMS.ini");
    FakeClock clock;
    RecordingDialogs dialogs;
    gw::test::FakeRadio radio;
    gw::test::FakeSetup setup;
    setup.folder = dir.path().toStdString();
    qputenv("XDG_DATA_HOME", (dir.path() + "/data").toUtf8());
    setup.call = "N0NODE";
    ServerQueues queues;
    NodeCore core(settings, clock, dialogs, queues);
    FUZZ_CHECK(core.startUp("1"), "the node starts");
    core.handOver(radio, setup);
    core.setMonitoredStream(1);

    gw::fuzz::InputReader input(data, size);
    std::deque<std::unique_ptr<CCommand>> inFlight;
    for (int op = 0; !input.empty() && op < 64; ++op) {
        const std::uint8_t choice = input.byte();
        const std::string letter(1, kLetters[choice % 10]);
        const int index = 1 + choice % 10;
        switch ((choice / 10) % 5) {
        case 0:
            core.StatusEvent("S1" + letter + "*** CONNECTED to " + input.field());
            break;
        case 1:
            core.StatusEvent("S1" + letter + "*** DISCONNECTED");
            break;
        case 4: {
            if (inFlight.empty()) break;
            std::unique_ptr<CCommand> request = std::move(inFlight.front());
            inFlight.pop_front();
            auto reply = std::make_unique<CResponse>();
            reply->Session = request->Session;
            reply->Command = request->Command;
            reply->Mid = request->Mid;
            reply->Error = "OK";
            reply->Response(input.field());
            reply->ResponseComplete();
            queues.ReplyQueue.Add(std::move(reply));
            const int asked = sessionStream(request->Session);
            radio.data.clear();
            core.poll();
            for (const auto& sent : radio.data)
                FUZZ_CHECK(sent.stream == kLetters.substr(static_cast<std::size_t>(asked - 1), 1),
                           "a reply reaches only the stream that asked");
            break;
        }
        default:
            core.DataEvent("D1" + letter + input.field());
            break;
        }
        checkNewRequests(core, queues, index, inFlight);
        for (int stream = 1; stream <= kMaxUsers; ++stream)
            FUZZ_CHECK(core.monitor().recent(stream).size() <= Monitor::kRecentLines,
                       "the monitor is bounded");
    }
    return 0;
}
