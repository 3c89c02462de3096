// Start-up rules for one of the ten instances.
#include "core/instance.h"

#include "common/text.h"

#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace gw {

std::string instanceText(const std::string& commandLine) {
    return commandLine.empty() ? std::string("1") : commandLine;
}

bool instanceValid(const std::string& sInstance) {
    if (!isNumeric(sInstance)) return false;
    const double value = numericValue(sInstance);
    return value >= 1.0 && value <= 10.0;
}

InstanceLock::InstanceLock(const std::string& path) {
    m_fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (m_fd < 0) {
        m_problem = std::strerror(errno);
        return;
    }
    if (::flock(m_fd, LOCK_EX | LOCK_NB) == 0) {
        m_state = State::Held;
        return;
    }
    m_state = errno == EWOULDBLOCK ? State::Busy : State::Failed;
    m_problem = std::strerror(errno);
}

InstanceLock::~InstanceLock() {
    if (m_fd >= 0) ::close(m_fd);
}

std::string instanceLockPath(const std::string& settingsFile, const std::string& sInstance) {
    return QFileInfo(QString::fromStdString(settingsFile)).absolutePath().toStdString() +
           "/brevane-" + sInstance + ".lock";
}

} // namespace gw
