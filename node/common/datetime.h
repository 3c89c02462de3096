// Date texts the node writes: the general date-and-time text (heartbeat, log lines) and the
// fixed "yyyy/mm/dd hh:nn" stamp of replies and transaction lines.
#pragma once

#include <QDateTime>
#include <optional>
#include <string>
#include <string_view>

namespace gw {

// "yyyy-MM-dd HH:mm:ss" in local time; parseGeneralDateTime reads it back to the same moment.
std::string generalDateTime(const QDateTime& moment);

// Reads a general date-and-time text. "0" and empty text are the date value zero
// (midnight, 30 December 1899), as the old platform converted them. Anything else that
// does not parse gives nothing.
std::optional<QDateTime> parseGeneralDateTime(std::string_view text);

// The date value zero: a heartbeat from long ago.
QDateTime dateZero();

// "yyyy/mm/dd hh:nn".
std::string stampText(const QDateTime& moment);

// Reads "yyyy/mm/dd hh:nn" (as a server writes it); nothing when it does not parse.
std::optional<QDateTime> parseStamp(std::string_view text);

} // namespace gw
