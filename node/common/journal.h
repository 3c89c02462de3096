// Lines for the system journal: written to stderr, with the priority prefix that journald
// reads ("<3>" for an error) when the node runs under systemd, plain in a terminal.
#pragma once

#include <string>

namespace gw {

enum class JournalPriority { Error = 3, Warning = 4, Info = 6 };

void writeJournal(JournalPriority priority, const std::string& line);

} // namespace gw
