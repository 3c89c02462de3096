// CMidEntry: one waiting message of a list reply.
#pragma once

#include "common/datetime.h"

#include <QDateTime>
#include <cstdint>
#include <string>

namespace gw {

struct CMidEntry {
    std::string Mid;
    QDateTime Originated = dateZero();
    std::int32_t Size = 0;
    std::string From;
    std::string Subject;
};

} // namespace gw
