// The operator's spool command: lists what waits and what was set aside, sends a set-aside
// message again or drops it. Texts from the file are shown as loggable text, one line each.
#include "app/spool_command.h"

#include "common/datetime.h"
#include "common/paths.h"
#include "common/text.h"
#include "core/instance.h"
#include "server/spool.h"

#include <cstdio>
#include <cstdlib>

namespace gw {
namespace {
// Fields from the file are cut to this length in a listing.
constexpr std::size_t kShown = 80;

std::string shown(const std::string& text) {
    return loggable(text, kShown);
}

void printMessage(const SpooledMessage& message) {
    std::printf("  %s  from %s  to %s  written %s  \"%s\"\n", shown(message.Mid).c_str(),
                shown(message.UserCall).c_str(), shown(message.AddressTo).c_str(),
                message.Originated.isValid() ? stampText(message.Originated).c_str() : "?",
                shown(message.Subject).c_str());
}

int list(Spool& spool) {
    const auto waiting = spool.waitingList();
    const auto aside = spool.setAsideList();
    if (!waiting || !aside) {
        std::fprintf(stderr, "brevane: cannot read %s: %s\n", spool.path().c_str(),
                     spool.problem().c_str());
        return EXIT_FAILURE;
    }
    std::printf("Waiting for the server (%zu):\n", waiting->size());
    for (const SpooledMessage& message : *waiting)
        printMessage(message);
    std::printf("Set aside (%zu):\n", aside->size());
    for (const SetAsideMessage& entry : *aside) {
        printMessage(entry.message);
        std::printf("    set aside %s UTC: %s\n", shown(entry.at).c_str(),
                    loggable(entry.reason, 1024).c_str());
    }
    return EXIT_SUCCESS;
}
} // namespace

int runSpoolCommand(const SpoolCommand& command, const std::string& instanceWords) {
    const std::string sInstance = instanceText(instanceWords);
    if (!instanceValid(sInstance)) {
        std::fprintf(stderr, "brevane: Only Numeric Instance parameters 1-10 are permitted.\n");
        return 2;
    }
    Spool spool;
    std::string problem;
    if (!spool.open(defaultFileFolder() + "spool" + sInstance + ".db", {}, problem,
                    Spool::Mode::Operator)) {
        std::fprintf(stderr, "brevane: instance %s: %s\n", sInstance.c_str(), problem.c_str());
        return EXIT_FAILURE;
    }
    if (command.action == "list") return list(spool);
    const bool retry = command.action == "retry";
    switch (retry ? spool.retry(command.mid) : spool.drop(command.mid)) {
    case Spool::Change::Done:
        std::printf(retry ? "%s is back in the queue of instance %s; a running node sends it now.\n"
                          : "%s dropped from the spool of instance %s.\n",
                    shown(command.mid).c_str(), sInstance.c_str());
        return EXIT_SUCCESS;
    case Spool::Change::NotFound:
        std::fprintf(stderr, "brevane: instance %s: no message %s is set aside.\n",
                     sInstance.c_str(), shown(command.mid).c_str());
        return EXIT_FAILURE;
    case Spool::Change::Failed:
        break;
    }
    std::fprintf(stderr, "brevane: instance %s: %s\n", sInstance.c_str(), spool.problem().c_str());
    return EXIT_FAILURE;
}

} // namespace gw
