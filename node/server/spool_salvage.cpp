// Salvage of a damaged spool file.
#include "server/spool_salvage.h"

#include "server/spool_sql.h"

#include <set>

namespace gw {
namespace {
using spool_sql::Statement;

// Copies the message in the row's first eight columns (seq, then the message) into `fresh`.
class WaitingCopier {
  public:
    explicit WaitingCopier(sqlite3* fresh)
        : m_insert(fresh, std::string("INSERT OR IGNORE INTO waiting(seq, ") +
                              spool_sql::kMessageColumns +
                              ", bytes) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9)") {}

    bool copy(Statement& row) {
        std::int64_t bytes = 0;
        m_insert.bind(1, row.integer(0));
        for (int column = 1; column <= 7; ++column) {
            const std::string text = row.text(column);
            if (column < 7) bytes += static_cast<std::int64_t>(text.size());
            m_insert.bind(column + 1, text);
        }
        m_insert.bind(9, bytes);
        const bool done = m_insert.step() == SQLITE_DONE;
        m_insert.reset();
        if (done) m_copied.insert(row.text(1));
        return done;
    }
    bool copied(const std::string& mid) const { return m_copied.count(mid) != 0; }
    std::int64_t count() const { return static_cast<std::int64_t>(m_copied.size()); }

  private:
    Statement m_insert;
    std::set<std::string> m_copied;
};

// Copies every row a scan of `select` reaches into `insert` (same columns); false when the
// scan stopped at an error.
bool copyRows(sqlite3* damaged, sqlite3* fresh, const std::string& select,
              const std::string& insert, int columns, std::int64_t& carried) {
    Statement from(damaged, select);
    Statement to(fresh, insert);
    int rc = SQLITE_ROW;
    while ((rc = from.step()) == SQLITE_ROW) {
        for (int column = 0; column < columns; ++column)
            to.bind(column + 1, from.text(column));
        if (to.step() == SQLITE_DONE) ++carried;
        to.reset();
    }
    return rc == SQLITE_DONE;
}
} // namespace

bool salvageSpool(sqlite3* damaged, sqlite3* fresh, std::size_t maxNames, SalvageCount& count) {
    count = {};
    // A file cut short is read as far as it goes instead of being refused whole.
    sqlite3_exec(damaged, "PRAGMA writable_schema=ON", nullptr, nullptr, nullptr);
    sqlite3_exec(fresh, "BEGIN", nullptr, nullptr, nullptr);
    const std::string columns = std::string("seq, ") + spool_sql::kMessageColumns;
    WaitingCopier waiting(fresh);
    Statement scan(damaged, "SELECT " + columns + " FROM waiting ORDER BY seq");
    int rc = SQLITE_ROW;
    while ((rc = scan.step()) == SQLITE_ROW)
        waiting.copy(scan);
    const bool scanned = rc == SQLITE_DONE;

    // The MID index is a tree of its own: it names the messages of a damaged table page,
    // and leads to those the scan could not reach.
    Statement index(damaged, "SELECT seq, mid FROM waiting INDEXED BY sqlite_autoindex_waiting_1");
    Statement one(damaged, "SELECT " + columns + " FROM waiting WHERE seq = ?1");
    while ((rc = index.step()) == SQLITE_ROW) {
        const std::string mid = index.text(1);
        if (waiting.copied(mid)) continue;
        one.bind(1, index.integer(0));
        const bool read = one.step() == SQLITE_ROW && one.text(1) == mid && waiting.copy(one);
        one.reset();
        if (read) continue;
        if (count.lost.size() < maxNames)
            count.lost.push_back(mid);
        else
            ++count.unnamed;
    }
    const bool indexed = rc == SQLITE_DONE;
    count.carried = waiting.count();
    count.unknown = !scanned && !indexed;

    const std::string refused = std::string(spool_sql::kMessageColumns) + ", reason, refused_at";
    if (!copyRows(damaged, fresh, "SELECT " + refused + " FROM refused",
                  "INSERT INTO refused(" + refused + ") VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9)",
                  9, count.carried))
        count.setAsideUnread = true;
    std::int64_t notices = 0;
    copyRows(damaged, fresh, "SELECT mid, sender, reason FROM notices",
             "INSERT INTO notices(mid, sender, reason) VALUES(?1, ?2, ?3)", 3, notices);
    return sqlite3_exec(fresh, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
}

} // namespace gw
