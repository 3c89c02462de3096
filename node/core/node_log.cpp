// The monthly log file of one instance.
#include "core/node_log.h"

#include "common/text.h"

#include <cstdio>
#include <unistd.h>

namespace gw {

std::string logFileName(const std::string& folder, const std::string& call,
                        const std::string& instance, int month) {
    std::string name = folder;
    if (name.empty() || name.back() != '/') name += '/';
    char mm[4];
    std::snprintf(mm, sizeof mm, "%02d", month);
    return name + call + "_" + instance + "_" + mm + ".log";
}

NodeLog::NodeLog(Source source, const Clock& clock) : m_source(std::move(source)), m_clock(clock) {}

std::string NodeLog::fileName() const {
    return logFileName(trim(m_source.folder()), m_source.call(), m_source.instance(),
                       m_month != 0 ? m_month : m_clock.now().date().month());
}

void NodeLog::openForAppend() {
    if (m_file->isOpen()) return;
    m_file->setFileName(QString::fromStdString(fileName()));
    // A failure leaves the file closed; the next write or flush tries again.
    (void)m_file->open(QIODevice::WriteOnly | QIODevice::Append);
}

void NodeLog::Log(const std::string& sMsg, JournalPriority priority) {
    if (m_echo) m_echo(priority, sMsg);
    m_tail.push_back({sMsg, priority});
    if (m_tail.size() > kTailLines) m_tail.pop_front();
    write(&sMsg);
}

void NodeLog::logEarly(const std::string& sMsg, JournalPriority priority) {
    writeJournal(priority, sMsg);
    m_tail.push_back({sMsg, priority});
    if (m_tail.size() > kTailLines) m_tail.pop_front();
    if (m_early.size() < kMaxEarly) m_early.push_back(sMsg);
}

void NodeLog::writeEarly() {
    if (!m_early.empty()) write(nullptr);
}

void NodeLog::fault(const std::string& problem) {
    if (m_problem.empty())
        writeJournal(JournalPriority::Error,
                     "Log file cannot be written, lines go to the journal only: " + problem);
    m_problem = problem;
}

// Each line goes to the disk as it is written: a crash or a power cut loses none.
bool NodeLog::writeLine(const std::string& sMsg) {
    const std::string line = sMsg + "\r\n";
    if (m_file->write(line.data(), static_cast<qint64>(line.size())) >= 0 && m_file->flush() &&
        ::fdatasync(m_file->handle()) == 0)
        return true;
    fault(m_file->fileName().toStdString() + ": " + m_file->errorString().toStdString());
    m_file->close();
    return false;
}

// Writes the early lines, then `sMsg` when given.
void NodeLog::write(const std::string* sMsg) {
    if (!m_source.enabled()) return;
    const int month = m_clock.now().date().month();
    if (!m_file) {
        m_file = std::make_unique<QFile>();
        m_month = month;
    }
    if (m_month != month) {
        m_file = std::make_unique<QFile>();
        m_month = month;
    }
    if (trim(m_source.folder()).empty()) return;
    openForAppend();
    if (!m_file->isOpen()) {
        fault(fileName() + ": " + m_file->errorString().toStdString());
        return;
    }
    while (!m_early.empty()) {
        if (!writeLine(m_early.front())) return;
        m_early.pop_front();
    }
    if (sMsg != nullptr && !writeLine(*sMsg)) return;
    if (!m_problem.empty()) {
        writeJournal(JournalPriority::Info, "Log file written again: " + fileName());
        m_problem.clear();
    }
}

void NodeLog::FlushLog() {
    if (!m_source.enabled() || trim(m_source.folder()).empty()) return;
    if (!m_file) return;
    m_file = std::make_unique<QFile>();
    m_month = m_clock.now().date().month();
    openForAppend();
}

void NodeLog::close() {
    m_file.reset();
}

} // namespace gw
