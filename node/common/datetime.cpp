// Date texts the node writes and reads back.
#include "common/datetime.h"

#include "common/text.h"

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

QDateTime dateZero() { return QDateTime(QDate(1899, 12, 30), QTime(0, 0)); }

std::optional<QDateTime> parseGeneralDateTime(std::string_view text) {
    const std::string t = trim(text);
    if (t.empty() || t == "0") return dateZero();
    return parseLocal(t, kGeneralFormat);
}

std::string stampText(const QDateTime& moment) {
    return fromQString(moment.toLocalTime().toString(kStampFormat));
}

std::optional<QDateTime> parseStamp(std::string_view text) { return parseLocal(text, kStampFormat); }

} // namespace gw
