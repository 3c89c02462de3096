// The monthly log file of one instance (folder + call + "_" + instance + "_" + month + ".log"),
// one CR LF line per entry, synced at once; settings read at every write, and a file that
// cannot be written retried, never stopping the node, and reported once until written again.
#pragma once

#include "common/clock.h"
#include "common/journal.h"

#include <QFile>
#include <deque>
#include <functional>
#include <memory>
#include <string>

namespace gw {

class NodeLog {
  public:
    struct Source {
        std::function<bool()> enabled;       // chkEnbLog
        std::function<std::string()> folder; // txtPath
        std::function<std::string()> call;   // txtMBOCall
        std::function<std::string()> instance;
    };

    static constexpr std::size_t kTailLines = 200;

    NodeLog(Source source, const Clock& clock);

    // Writes one line to the month's file and, when an echo is set, to the journal too.
    void Log(const std::string& sMsg, JournalPriority priority = JournalPriority::Info);
    // A line from before the log's settings are known: to the journal at once, and to the
    // file at the first write that finds logging on.
    void logEarly(const std::string& sMsg, JournalPriority priority);
    // Writes the early lines now when logging is on.
    void writeEarly();
    // A headless node's lines also go to the journal, where its operator looks first.
    void setEcho(std::function<void(JournalPriority, const std::string&)> echo) {
        m_echo = std::move(echo);
    }
    void FlushLog();
    void close();

    // The file the current month's lines go to (for the operator and tests).
    std::string fileName() const;
    bool isOpen() const { return m_file && m_file->isOpen(); }
    // Why the log file cannot be written now; empty while it can (or logging is off).
    const std::string& problem() const { return m_problem; }
    int LogMonth() const { return m_month; }
    // The last kTailLines lines given to Log(), oldest first, whether or not a file is in use,
    // each with its priority (so a view can make failures stand out).
    struct TailLine {
        std::string text;
        JournalPriority priority;
    };
    const std::deque<TailLine>& tail() const { return m_tail; }

  private:
    void openForAppend();
    void write(const std::string* sMsg);
    bool writeLine(const std::string& sMsg);
    void fault(const std::string& problem);

    // Early lines kept for the file, at most this many.
    static constexpr std::size_t kMaxEarly = 200;

    Source m_source;
    const Clock& m_clock;
    std::unique_ptr<QFile> m_file; // null while no log file is in use
    int m_month = 0;
    std::function<void(JournalPriority, const std::string&)> m_echo;
    std::deque<TailLine> m_tail;
    std::deque<std::string> m_early;
    std::string m_problem;
};

// The log file name for a folder, call sign, instance and month (1-12).
std::string logFileName(const std::string& folder, const std::string& call,
                        const std::string& instance, int month);

} // namespace gw
