// Spool: the sent messages the server could not take yet, kept in an SQLite file (WAL,
// synchronous writes) so that they survive a crash or a power cut, oldest first. Messages the
// server refused for good are kept aside with the reason and never offered again.
#pragma once

#include <QDateTime>
#include <cstdint>
#include <optional>
#include <string>

struct sqlite3;

namespace gw {

struct SpooledMessage {
    std::string Mid;
    std::string UserCall;
    std::string AddressTo;
    std::string AddressCc;
    std::string Subject;
    std::string Body;
    QDateTime Originated;
};

class Spool {
  public:
    struct Limits {
        std::int64_t maxMessages = 500;
        std::int64_t maxBytes = 1024 * 1024;
    };
    enum class AddResult { Stored, Full, Failed };

    Spool() = default;
    ~Spool();
    Spool(const Spool&) = delete;
    Spool& operator=(const Spool&) = delete;

    // Opens (creating when needed) the spool file; false with the reason in `problem`.
    bool open(const std::string& path, Limits limits, std::string& problem);
    bool isOpen() const { return m_db != nullptr; }

    // Commits the message before returning Stored; Full when the limits would be passed, and
    // Failed (with the reason in problem()) when the file could not take it.
    AddResult add(const SpooledMessage& message);
    // The oldest message waiting, if any.
    std::optional<SpooledMessage> oldest();
    // Takes a message out once the server has it.
    bool remove(const std::string& mid);
    // Moves a message aside with the server's reason; it is not offered again.
    bool setAside(const std::string& mid, const std::string& reason);

    std::int64_t count();
    std::int64_t setAsideCount();
    // For the status views: the messages waiting, and when the oldest of them was written
    // (its origination time, which the node sets as the message is finished).
    std::size_t waitingCount();
    std::optional<QDateTime> oldestWaiting();
    const std::string& problem() const { return m_problem; }

  private:
    bool exec(const char* sql);
    void close();

    sqlite3* m_db = nullptr;
    Limits m_limits;
    std::string m_problem;
};

} // namespace gw
