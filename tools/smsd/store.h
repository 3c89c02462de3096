// smsd's message store in SQLite: messages, and per recipient whether it was delivered.
#pragma once

#include <optional>
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

class Store {
  public:
    // Opens (creating when needed) the database; ":memory:" keeps it in memory. Throws
    // std::runtime_error when the file cannot be opened.
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
    sqlite3* m_db = nullptr;
};

} // namespace smsd
