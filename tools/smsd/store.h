// smsd's message store in SQLite: messages, and per recipient whether it was delivered.
// A change is durable when its call returns: the file is kept in write-ahead-log mode with full
// synchronisation, so a committed change survives the process being killed and a power loss.
#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

struct sqlite3;

namespace smsd {

struct StoredMessage {
    std::string mid;
    std::string originated; // "yyyy/mm/dd hh:nn"
    std::string sender;
    std::string subject;
    std::string body;
    std::vector<std::string> to;
    std::vector<std::string> cc;
};

// A database failure; `busy` when another connection holds a lock and a retry may succeed.
// An operation that throws has changed nothing.
class StoreError : public std::runtime_error {
  public:
    StoreError(const std::string& what, bool busy) : std::runtime_error(what), m_busy(busy) {}
    bool busy() const { return m_busy; }

  private:
    bool m_busy;
};

// MIDs are matched ignoring the case of letters, as the radio user may type them.
class Store {
  public:
    // Opens (creating when needed) the database; ":memory:" keeps it in memory. Throws
    // StoreError when the file cannot be opened or set up. Operations below throw StoreError.
    explicit Store(const std::string& path);
    ~Store();
    Store(const Store&) = delete;
    Store& operator=(const Store&) = delete;

    // Messages waiting for the user (not yet delivered to that user), oldest first.
    std::vector<StoredMessage> waitingFor(const std::string& user);
    // The message, when the user is its sender or one of its recipients.
    std::optional<StoredMessage> read(const std::string& mid, const std::string& user);
    // Marks the message delivered for the user; false when the user is no recipient of it.
    bool markDelivered(const std::string& mid, const std::string& user);
    // Stores a new message; false when its MID is already taken.
    bool add(const StoredMessage& message);

    // A few sample messages for a demonstration; those already present are left alone.
    int seed();

  private:
    void exec(const char* sql);
    // Runs `work` in an immediate transaction; rolls back when it throws or returns false.
    template <typename Work> bool transaction(Work work);
    sqlite3* m_db = nullptr;
};

} // namespace smsd
