// smsd's SQLite store. Text is bound with explicit lengths, so any byte travels unchanged.
#include "store.h"

#include <sqlite3.h>

namespace smsd {
namespace {
// A lock held elsewhere gets this long inside SQLite; the server retries beyond it without
// holding up its other clients.
constexpr int kBusyWaitMs = 10;

[[noreturn]] void fail(sqlite3* db, int rc) {
    const int primary = rc & 0xff;
    throw StoreError(sqlite3_errmsg(db), primary == SQLITE_BUSY || primary == SQLITE_LOCKED);
}

void rollback(sqlite3* db) {
    if (!sqlite3_get_autocommit(db)) sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
}

class Statement {
  public:
    Statement(sqlite3* db, const char* sql) : m_db(db) {
        if (const int rc = sqlite3_prepare_v2(db, sql, -1, &m_statement, nullptr); rc != SQLITE_OK)
            fail(db, rc);
    }
    ~Statement() { sqlite3_finalize(m_statement); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    Statement& bind(int index, const std::string& text) {
        sqlite3_bind_text(m_statement, index, text.data(), static_cast<int>(text.size()),
                          SQLITE_TRANSIENT);
        return *this;
    }
    Statement& bind(int index, long long value) {
        sqlite3_bind_int64(m_statement, index, value);
        return *this;
    }
    // True while a row is available.
    bool step() {
        const int rc = sqlite3_step(m_statement);
        if (rc == SQLITE_ROW) return true;
        if (rc == SQLITE_DONE) return false;
        fail(m_db, rc);
    }
    // Runs a statement that may break a constraint; false when it did.
    bool tryRun() {
        const int rc = sqlite3_step(m_statement);
        if (rc == SQLITE_DONE || rc == SQLITE_ROW) return true;
        if ((rc & 0xff) == SQLITE_CONSTRAINT) return false;
        fail(m_db, rc);
    }
    std::string text(int column) const {
        const auto* bytes = static_cast<const char*>(sqlite3_column_blob(m_statement, column));
        return bytes ? std::string(bytes, static_cast<std::size_t>(
                                              sqlite3_column_bytes(m_statement, column)))
                     : std::string();
    }
    long long integer(int column) const { return sqlite3_column_int64(m_statement, column); }

  private:
    sqlite3* m_db;
    sqlite3_stmt* m_statement = nullptr;
};

const char* const kSchema = R"(
CREATE TABLE IF NOT EXISTS messages(
  id INTEGER PRIMARY KEY,
  mid TEXT NOT NULL UNIQUE,
  originated TEXT NOT NULL,
  sender TEXT NOT NULL,
  subject TEXT NOT NULL,
  body BLOB NOT NULL);
CREATE TABLE IF NOT EXISTS recipients(
  message_id INTEGER NOT NULL REFERENCES messages(id),
  address TEXT NOT NULL COLLATE NOCASE,
  kind TEXT NOT NULL,
  delivered INTEGER NOT NULL DEFAULT 0,
  PRIMARY KEY(message_id, address, kind));
CREATE INDEX IF NOT EXISTS messages_mid_nocase ON messages(mid COLLATE NOCASE);
)";

void loadRecipients(sqlite3* db, long long id, StoredMessage& message) {
    Statement rows(db, "SELECT address, kind FROM recipients WHERE message_id = ?1 ORDER BY rowid");
    rows.bind(1, id);
    while (rows.step())
        (rows.text(1) == "To" ? message.to : message.cc).push_back(rows.text(0));
}
} // namespace

Store::Store(const std::string& path) {
    if (sqlite3_open(path.c_str(), &m_db) != SQLITE_OK) {
        const std::string why = m_db ? sqlite3_errmsg(m_db) : "out of memory";
        sqlite3_close(m_db);
        throw StoreError("cannot open " + path + ": " + why, false);
    }
    sqlite3_busy_timeout(m_db, kBusyWaitMs);
    try {
        // An in-memory database stays in its own journal mode; that is no loss.
        exec("PRAGMA journal_mode=WAL");
        exec("PRAGMA synchronous=FULL");
        exec(kSchema);
    } catch (...) {
        sqlite3_close(m_db);
        throw;
    }
}

Store::~Store() {
    sqlite3_close(m_db);
}

void Store::exec(const char* sql) {
    char* error = nullptr;
    if (const int rc = sqlite3_exec(m_db, sql, nullptr, nullptr, &error); rc != SQLITE_OK) {
        const std::string why = error ? error : sqlite3_errstr(rc);
        sqlite3_free(error);
        const int primary = rc & 0xff;
        throw StoreError(why, primary == SQLITE_BUSY || primary == SQLITE_LOCKED);
    }
}

template <typename Work> bool Store::transaction(Work work) {
    exec("BEGIN IMMEDIATE");
    try {
        if (!work()) {
            rollback(m_db);
            return false;
        }
        exec("COMMIT");
        return true;
    } catch (...) {
        rollback(m_db);
        throw;
    }
}

std::vector<StoredMessage> Store::waitingFor(const std::string& user) {
    Statement rows(m_db, "SELECT DISTINCT m.mid, m.originated, m.sender, m.subject, m.body, m.id "
                         "FROM messages m JOIN recipients r ON r.message_id = m.id "
                         "WHERE r.address = ?1 AND r.delivered = 0 ORDER BY m.id");
    rows.bind(1, user);
    std::vector<StoredMessage> messages;
    while (rows.step())
        messages.push_back(
            {rows.text(0), rows.text(1), rows.text(2), rows.text(3), rows.text(4), {}, {}});
    return messages;
}

std::optional<StoredMessage> Store::read(const std::string& mid, const std::string& user) {
    Statement row(m_db,
                  "SELECT m.id, m.mid, m.originated, m.sender, m.subject, m.body FROM messages m "
                  "WHERE m.mid = ?1 COLLATE NOCASE AND (m.sender = ?2 COLLATE NOCASE OR EXISTS "
                  "(SELECT 1 FROM recipients r WHERE r.message_id = m.id AND r.address = ?2)) "
                  "ORDER BY m.id LIMIT 1");
    row.bind(1, mid).bind(2, user);
    if (!row.step()) return std::nullopt;
    StoredMessage message{row.text(1), row.text(2), row.text(3), row.text(4), row.text(5), {}, {}};
    loadRecipients(m_db, row.integer(0), message);
    return message;
}

bool Store::markDelivered(const std::string& mid, const std::string& user) {
    Statement update(m_db,
                     "UPDATE recipients SET delivered = 1 WHERE address = ?2 AND message_id = "
                     "(SELECT id FROM messages WHERE mid = ?1 COLLATE NOCASE ORDER BY id LIMIT 1)");
    update.bind(1, mid).bind(2, user);
    update.step();
    return sqlite3_changes(m_db) > 0;
}

bool Store::add(const StoredMessage& message) {
    return transaction([&] {
        Statement taken(m_db, "SELECT 1 FROM messages WHERE mid = ?1 COLLATE NOCASE");
        taken.bind(1, message.mid);
        if (taken.step()) return false;
        Statement insert(m_db, "INSERT INTO messages(mid, originated, sender, subject, body) "
                               "VALUES(?1, ?2, ?3, ?4, ?5)");
        insert.bind(1, message.mid)
            .bind(2, message.originated)
            .bind(3, message.sender)
            .bind(4, message.subject)
            .bind(5, message.body);
        if (!insert.tryRun()) return false;
        const long long id = sqlite3_last_insert_rowid(m_db);
        auto addRecipients = [&](const std::vector<std::string>& addresses,
                                 const std::string& kind) {
            for (const std::string& address : addresses) {
                Statement recipient(m_db,
                                    "INSERT OR IGNORE INTO recipients(message_id, address, kind) "
                                    "VALUES(?1, ?2, ?3)");
                recipient.bind(1, id).bind(2, address).bind(3, kind);
                recipient.step();
            }
        };
        addRecipients(message.to, "To");
        addRecipients(message.cc, "Cc");
        return true;
    });
}

int Store::seed() {
    const std::vector<StoredMessage> samples = {
        {"SMS_SEED0001",
         "2026/05/01 09:15",
         "N1CALL",
         "Welcome to the node",
         "Hello from the short-message server.\r\nType R 1 to read, K 1 to mark it delivered.",
         {"N0CALL"},
         {}},
        {"SMS_SEED0002",
         "2026/05/02 18:40",
         "N2CALL",
         "Net tonight",
         "The club net starts at 20:00 on the usual frequency.",
         {"N0CALL"},
         {"N1CALL"}},
        {"SMS_SEED0003",
         "2026/05/03 07:05",
         "N0CALL",
         "Antenna party",
         "Bring coax and a ladder on Saturday.",
         {"N1CALL"},
         {}},
    };
    int added = 0;
    for (const StoredMessage& message : samples)
        added += add(message) ? 1 : 0;
    return added;
}

} // namespace smsd
