// Start-up rules for one of the ten instances.
#include "core/instance.h"

#include "common/datetime.h"
#include "common/text.h"

namespace gw {

std::string instanceText(const std::string& commandLine) {
    return commandLine.empty() ? std::string("1") : commandLine;
}

bool instanceValid(const std::string& sInstance) {
    if (!isNumeric(sInstance)) return false;
    const double value = numericValue(sInstance);
    return value >= 1.0 && value <= 10.0;
}

bool heartbeatBlocks(const std::string& stored, const QDateTime& now) {
    const auto beat = parseGeneralDateTime(stored);
    if (!beat) return false;
    const qint64 age = beat->secsTo(now);
    return age < kHeartbeatSeconds && age > -kHeartbeatSeconds;
}

} // namespace gw
