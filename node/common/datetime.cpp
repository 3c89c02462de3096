// Date texts the node writes and reads back.
#include "common/datetime.h"

#include "common/text.h"

#include <cctype>
#include <cstdlib>

namespace gw {
namespace {
const QString kGeneralFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");
const QString kStampFormat = QStringLiteral("yyyy/MM/dd HH:mm");

std::optional<QDateTime> parseLocal(std::string_view text, const QString& format) {
    QDateTime moment = QDateTime::fromString(toQString(trim(text)), format);
    if (!moment.isValid()) return std::nullopt;
    return moment;
}
} // namespace

std::string generalDateTime(const QDateTime& moment) {
    return fromQString(moment.toLocalTime().toString(kGeneralFormat));
}

QDateTime dateZero() {
    return QDateTime(QDate(1899, 12, 30), QTime(0, 0));
}

std::string heartbeatText(const QDateTime& moment) {
    const QDateTime local = moment.toLocalTime();
    const int offset = local.offsetFromUtc();
    const int minutes = std::abs(offset) / 60;
    return generalDateTime(local) + (offset < 0 ? "-" : "+") +
           fromQString(QStringLiteral("%1:%2")
                           .arg(minutes / 60, 2, 10, QLatin1Char('0'))
                           .arg(minutes % 60, 2, 10, QLatin1Char('0')));
}

std::optional<QDateTime> parseGeneralDateTime(std::string_view text) {
    const std::string t = trim(text);
    if (t.empty() || t == "0") return dateZero();
    // "yyyy-MM-dd HH:mm:ss" then "+hh:mm" or "-hh:mm".
    constexpr std::size_t kPlain = 19;
    if (t.size() == kPlain + 6 && (t[kPlain] == '+' || t[kPlain] == '-') && t[kPlain + 3] == ':') {
        const auto plain = parseLocal(t.substr(0, kPlain), kGeneralFormat);
        const std::string hours = t.substr(kPlain + 1, 2);
        const std::string minutes = t.substr(kPlain + 4, 2);
        const auto digits = [](const std::string& two) {
            return std::isdigit(static_cast<unsigned char>(two[0])) != 0 &&
                   std::isdigit(static_cast<unsigned char>(two[1])) != 0;
        };
        if (!plain || !digits(hours) || !digits(minutes)) return std::nullopt;
        const int seconds = (std::stoi(hours) * 60 + std::stoi(minutes)) * 60;
        return QDateTime(plain->date(), plain->time(), Qt::OffsetFromUTC,
                         t[kPlain] == '-' ? -seconds : seconds);
    }
    return parseLocal(t, kGeneralFormat);
}

std::string stampText(const QDateTime& moment) {
    return fromQString(moment.toLocalTime().toString(kStampFormat));
}

std::optional<QDateTime> parseStamp(std::string_view text) {
    return parseLocal(text, kStampFormat);
}

} // namespace gw
