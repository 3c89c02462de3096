// The journal's priority prefix is only for journald: systemd sets JOURNAL_STREAM for a
// service whose stderr it reads.
#include "common/journal.h"

#include "common/text.h"

#include <cstdio>
#include <cstdlib>

namespace gw {

void writeJournal(JournalPriority priority, const std::string& line) {
    // One entry a line: a line end or control byte from outside text must not start another.
    const std::string text = loggable(line, 4096);
    if (std::getenv("JOURNAL_STREAM") != nullptr)
        std::fprintf(stderr, "<%d>%s\n", static_cast<int>(priority), text.c_str());
    else
        std::fprintf(stderr, "%s\n", text.c_str());
    std::fflush(stderr);
}

} // namespace gw
