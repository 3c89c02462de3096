// Spool: the SQLite file, its limits and the statements on it.
#include "server/spool.h"

#include <algorithm>
#include <sqlite3.h>

namespace gw {
namespace {
constexpr const char* kSchema = R"(
CREATE TABLE IF NOT EXISTS waiting(
  seq INTEGER PRIMARY KEY AUTOINCREMENT, mid TEXT NOT NULL UNIQUE, sender TEXT NOT NULL,
  address_to TEXT NOT NULL, address_cc TEXT NOT NULL, subject TEXT NOT NULL, body TEXT NOT NULL,
  originated TEXT NOT NULL, bytes INTEGER NOT NULL);
CREATE TABLE IF NOT EXISTS refused(
  mid TEXT NOT NULL, sender TEXT NOT NULL, address_to TEXT NOT NULL, address_cc TEXT NOT NULL,
  subject TEXT NOT NULL, body TEXT NOT NULL, originated TEXT NOT NULL, reason TEXT NOT NULL,
  refused_at TEXT NOT NULL DEFAULT CURRENT_TIMESTAMP);
)";

// One prepared statement, finalized when it goes out of scope.
class Statement {
  public:
    Statement(sqlite3* db, const char* sql) { sqlite3_prepare_v2(db, sql, -1, &m_stmt, nullptr); }
    ~Statement() { sqlite3_finalize(m_stmt); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    void bind(int at, const std::string& text) {
        sqlite3_bind_text(m_stmt, at, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
    }
    void bind(int at, std::int64_t value) { sqlite3_bind_int64(m_stmt, at, value); }
    int step() { return m_stmt != nullptr ? sqlite3_step(m_stmt) : SQLITE_ERROR; }
    std::string text(int column) {
        const auto* p = sqlite3_column_text(m_stmt, column);
        return p != nullptr
                   ? std::string(reinterpret_cast<const char*>(p),
                                 static_cast<std::size_t>(sqlite3_column_bytes(m_stmt, column)))
                   : std::string();
    }
    std::int64_t integer(int column) { return sqlite3_column_int64(m_stmt, column); }

  private:
    sqlite3_stmt* m_stmt = nullptr;
};

std::int64_t sizeOf(const SpooledMessage& m) {
    return static_cast<std::int64_t>(m.Mid.size() + m.UserCall.size() + m.AddressTo.size() +
                                     m.AddressCc.size() + m.Subject.size() + m.Body.size());
}
} // namespace

Spool::~Spool() {
    close();
}

void Spool::close() {
    sqlite3_close(m_db);
    m_db = nullptr;
}

bool Spool::exec(const char* sql) {
    char* error = nullptr;
    if (sqlite3_exec(m_db, sql, nullptr, nullptr, &error) == SQLITE_OK) return true;
    m_problem = error != nullptr ? error : sqlite3_errmsg(m_db);
    sqlite3_free(error);
    return false;
}

bool Spool::open(const std::string& path, Limits limits, std::string& problem) {
    close();
    m_limits = limits;
    if (sqlite3_open(path.c_str(), &m_db) != SQLITE_OK) {
        problem = "cannot open " + path + ": " + (m_db ? sqlite3_errmsg(m_db) : "out of memory");
        close();
        return false;
    }
    sqlite3_busy_timeout(m_db, 2000);
    if (!exec("PRAGMA journal_mode=WAL") || !exec("PRAGMA synchronous=FULL") || !exec(kSchema)) {
        problem = "cannot set up " + path + ": " + m_problem;
        close();
        return false;
    }
    return true;
}

Spool::AddResult Spool::add(const SpooledMessage& message) {
    if (m_db == nullptr) {
        m_problem = "spool not open";
        return AddResult::Failed;
    }
    if (!exec("BEGIN IMMEDIATE")) return AddResult::Failed;
    Statement totals(m_db, "SELECT count(*), coalesce(sum(bytes), 0) FROM waiting");
    if (totals.step() != SQLITE_ROW) {
        m_problem = sqlite3_errmsg(m_db);
        exec("ROLLBACK");
        return AddResult::Failed;
    }
    const std::int64_t bytes = sizeOf(message);
    if (totals.integer(0) + 1 > m_limits.maxMessages ||
        totals.integer(1) + bytes > m_limits.maxBytes) {
        exec("ROLLBACK");
        return AddResult::Full;
    }
    Statement insert(m_db, "INSERT INTO waiting(mid, sender, address_to, address_cc, subject, "
                           "body, originated, bytes) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)");
    insert.bind(1, message.Mid);
    insert.bind(2, message.UserCall);
    insert.bind(3, message.AddressTo);
    insert.bind(4, message.AddressCc);
    insert.bind(5, message.Subject);
    insert.bind(6, message.Body);
    insert.bind(7, message.Originated.toString(Qt::ISODateWithMs).toStdString());
    insert.bind(8, bytes);
    if (insert.step() != SQLITE_DONE) {
        m_problem = sqlite3_errmsg(m_db);
        exec("ROLLBACK");
        return AddResult::Failed;
    }
    return exec("COMMIT") ? AddResult::Stored : (exec("ROLLBACK"), AddResult::Failed);
}

std::optional<SpooledMessage> Spool::oldest() {
    if (m_db == nullptr) return std::nullopt;
    Statement row(m_db, "SELECT mid, sender, address_to, address_cc, subject, body, originated "
                        "FROM waiting ORDER BY seq LIMIT 1");
    if (row.step() != SQLITE_ROW) return std::nullopt;
    SpooledMessage m{row.text(0),
                     row.text(1),
                     row.text(2),
                     row.text(3),
                     row.text(4),
                     row.text(5),
                     QDateTime::fromString(QString::fromStdString(row.text(6)), Qt::ISODateWithMs)};
    return m;
}

bool Spool::remove(const std::string& mid) {
    if (m_db == nullptr) return false;
    Statement gone(m_db, "DELETE FROM waiting WHERE mid = ?1");
    gone.bind(1, mid);
    if (gone.step() == SQLITE_DONE) return true;
    m_problem = sqlite3_errmsg(m_db);
    return false;
}

bool Spool::setAside(const std::string& mid, const std::string& reason) {
    if (m_db == nullptr || !exec("BEGIN IMMEDIATE")) return false;
    Statement copy(m_db, "INSERT INTO refused(mid, sender, address_to, address_cc, subject, body, "
                         "originated, reason) SELECT mid, sender, address_to, address_cc, "
                         "subject, body, originated, ?2 FROM waiting WHERE mid = ?1");
    copy.bind(1, mid);
    copy.bind(2, reason);
    Statement gone(m_db, "DELETE FROM waiting WHERE mid = ?1");
    gone.bind(1, mid);
    if (copy.step() != SQLITE_DONE || gone.step() != SQLITE_DONE) {
        m_problem = sqlite3_errmsg(m_db);
        exec("ROLLBACK");
        return false;
    }
    return exec("COMMIT") || (exec("ROLLBACK"), false);
}

std::int64_t Spool::count() {
    if (m_db == nullptr) return 0;
    Statement n(m_db, "SELECT count(*) FROM waiting");
    return n.step() == SQLITE_ROW ? n.integer(0) : 0;
}

std::size_t Spool::waitingCount() {
    return static_cast<std::size_t>(std::max<std::int64_t>(count(), 0));
}

std::optional<QDateTime> Spool::oldestWaiting() {
    if (m_db == nullptr) return std::nullopt;
    Statement row(m_db, "SELECT originated FROM waiting ORDER BY seq LIMIT 1");
    if (row.step() != SQLITE_ROW) return std::nullopt;
    const QDateTime at =
        QDateTime::fromString(QString::fromStdString(row.text(0)), Qt::ISODateWithMs);
    return at.isValid() ? std::optional<QDateTime>(at) : std::nullopt;
}

std::int64_t Spool::setAsideCount() {
    if (m_db == nullptr) return 0;
    Statement n(m_db, "SELECT count(*) FROM refused");
    return n.step() == SQLITE_ROW ? n.integer(0) : 0;
}

} // namespace gw
