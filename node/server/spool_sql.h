// The SQLite pieces the spool's files share: one prepared statement that finalizes itself,
// and the tables of a spool file, created in the main file or in an attached one.
#pragma once

#include <cstdint>
#include <sqlite3.h>
#include <string>

namespace gw::spool_sql {

// One prepared statement, finalized when it goes out of scope. A statement that could not be
// prepared steps to SQLITE_ERROR, and the connection's error text says why.
class Statement {
  public:
    Statement(sqlite3* db, const std::string& sql) {
        sqlite3_prepare_v2(db, sql.c_str(), -1, &m_stmt, nullptr);
    }
    ~Statement() { sqlite3_finalize(m_stmt); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    void bind(int at, const std::string& text) {
        sqlite3_bind_text(m_stmt, at, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
    }
    void bind(int at, std::int64_t value) { sqlite3_bind_int64(m_stmt, at, value); }
    int step() { return m_stmt != nullptr ? sqlite3_step(m_stmt) : SQLITE_ERROR; }
    void reset() {
        sqlite3_reset(m_stmt);
        sqlite3_clear_bindings(m_stmt);
    }
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

// The tables of a spool file in schema `schema` ("main" or an attached file's name).
std::string schemaSql(const std::string& schema);

// The columns of a message, in the order the spool's statements read and write them.
inline constexpr const char* kMessageColumns =
    "mid, sender, address_to, address_cc, subject, body, originated";

} // namespace gw::spool_sql
