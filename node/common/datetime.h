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

// The general date-and-time text followed by the moment's UTC offset ("+02:00"), for a
// stored time compared later (the heartbeat): it reads back to the same moment even in
// the hour that a daylight-saving change repeats.
std::string heartbeatText(const QDateTime& moment);

// Reads a general date-and-time text, with or without a UTC offset after it. "0" and empty
// text are the date value zero (midnight, 30 December 1899), as the old platform converted
// them. Anything else that does not parse gives nothing.
std::optional<QDateTime> parseGeneralDateTime(std::string_view text);

// The date value zero: a heartbeat from long ago.
QDateTime dateZero();

// "yyyy/mm/dd hh:nn".
std::string stampText(const QDateTime& moment);

// Reads "yyyy/mm/dd hh:nn" (as a server writes it); nothing when it does not parse.
std::optional<QDateTime> parseStamp(std::string_view text);

} // namespace gw
