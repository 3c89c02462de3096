// Spool: the SQLite file, its limits, its checks and the statements on it.
#include "server/spool.h"

#include "common/paths.h"
#include "server/spool_salvage.h"
#include "server/spool_sql.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sqlite3.h>

namespace gw {

namespace spool_sql {
std::string schemaSql(const std::string& schema) {
    const std::string in = "CREATE TABLE IF NOT EXISTS " + schema + ".";
    return in + R"(waiting(
  seq INTEGER PRIMARY KEY AUTOINCREMENT, mid TEXT NOT NULL UNIQUE, sender TEXT NOT NULL,
  address_to TEXT NOT NULL, address_cc TEXT NOT NULL, subject TEXT NOT NULL, body TEXT NOT NULL,
  originated TEXT NOT NULL, bytes INTEGER NOT NULL);
)" + in + R"(refused(
  mid TEXT NOT NULL, sender TEXT NOT NULL, address_to TEXT NOT NULL, address_cc TEXT NOT NULL,
  subject TEXT NOT NULL, body TEXT NOT NULL, originated TEXT NOT NULL, reason TEXT NOT NULL,
  refused_at TEXT NOT NULL DEFAULT CURRENT_TIMESTAMP);
)" + in + "notices(mid TEXT NOT NULL, sender TEXT NOT NULL, reason TEXT NOT NULL);";
}
} // namespace spool_sql

namespace {
using spool_sql::kMessageColumns;
using spool_sql::Statement;

const std::string kSelectMessage = std::string("SELECT ") + kMessageColumns;
const std::string kRefusedColumns = std::string(kMessageColumns) + ", reason, refused_at";

std::int64_t sizeOf(const SpooledMessage& m) {
    return static_cast<std::int64_t>(m.Mid.size() + m.UserCall.size() + m.AddressTo.size() +
                                     m.AddressCc.size() + m.Subject.size() + m.Body.size());
}

// A message from the first seven columns of a row, starting at `from`.
SpooledMessage messageAt(Statement& row, int from = 0) {
    return {row.text(from),
            row.text(from + 1),
            row.text(from + 2),
            row.text(from + 3),
            row.text(from + 4),
            row.text(from + 5),
            QDateTime::fromString(QString::fromStdString(row.text(from + 6)), Qt::ISODateWithMs)};
}

bool exists(const std::string& path) {
    return QFileInfo::exists(QString::fromStdString(path));
}

// A damaged file's new name: beside it, with the time it was found.
std::string asideName(const std::string& path) {
    const std::string base =
        path + ".damaged-" + QDateTime::currentDateTime().toString("yyyyMMdd-HHmmss").toStdString();
    std::string name = base;
    for (int n = 2; exists(name); ++n)
        name = base + "-" + std::to_string(n);
    return name;
}

bool isDamage(int code) {
    return (code & 0xff) == SQLITE_CORRUPT || (code & 0xff) == SQLITE_NOTADB;
}
} // namespace

Spool::~Spool() {
    close();
}

void Spool::close() {
    sqlite3_close(m_db);
    m_db = nullptr;
}

bool Spool::fail() {
    m_lastCode = sqlite3_errcode(m_db);
    m_problem = sqlite3_errmsg(m_db);
    return false;
}

bool Spool::exec(const std::string& sql) {
    char* error = nullptr;
    const int rc = sqlite3_exec(m_db, sql.c_str(), nullptr, nullptr, &error);
    if (rc == SQLITE_OK) return true;
    m_lastCode = rc;
    m_problem = error != nullptr ? error : sqlite3_errmsg(m_db);
    sqlite3_free(error);
    return false;
}

// Ends a failed transaction; the failure's own reason stays the one reported. SQLite may have
// rolled back already (a full disk does), so this one's outcome does not matter.
void Spool::rollback() {
    sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
}

bool Spool::openFile(const std::string& path, Mode mode, std::string& problem) {
    if (mode == Mode::Operator && !exists(path)) {
        problem = "no spool file " + path;
        return false;
    }
    const int flags = SQLITE_OPEN_READWRITE | (mode == Mode::Node ? SQLITE_OPEN_CREATE : 0);
    if (sqlite3_open_v2(path.c_str(), &m_db, flags, nullptr) != SQLITE_OK) {
        problem = "cannot open " + path + ": " + (m_db ? sqlite3_errmsg(m_db) : "out of memory");
        if (const int error = m_db ? sqlite3_system_errno(m_db) : 0; error != 0)
            problem += std::string(" (") + std::strerror(error) + ")";
        close();
        return false;
    }
    sqlite3_busy_timeout(m_db, 2000);
    return true;
}

bool Spool::check(std::string& damage) {
    Statement check(m_db, "PRAGMA integrity_check(8)");
    const int rc = check.step();
    if (rc == SQLITE_ROW) {
        // The first finding, without the heading SQLite puts over it.
        damage = check.text(0);
        damage.erase(0, damage.rfind('\n') + 1);
        return damage == "ok";
    }
    if (rc == SQLITE_DONE || !isDamage(sqlite3_errcode(m_db))) return true;
    damage = sqlite3_errmsg(m_db);
    return false;
}

bool Spool::setUp(std::string& problem) {
    if (!exec("PRAGMA journal_mode=WAL") || !exec("PRAGMA synchronous=FULL") ||
        !exec(spool_sql::schemaSql("main"))) {
        problem = "cannot set up " + m_path + ": " + m_problem;
        return false;
    }
    if (sqlite3_db_readonly(m_db, "main") == 1) {
        problem = "cannot write " + m_path + ": the file or its file system is read-only";
        return false;
    }
    changedElsewhere();
    return true;
}

bool Spool::repairDamaged(const std::string& damage, std::string& problem) {
    Repair repair;
    repair.damage = damage;
    // What can be read goes first into a file of its own, so that nothing read is held in
    // memory alone: an open cut short by a crash finds it there and carries it in.
    const std::string salvage = m_path + ".salvage";
    sqlite3* fresh = nullptr;
    SalvageCount count;
    bool written =
        sqlite3_open_v2(salvage.c_str(), &fresh, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                        nullptr) == SQLITE_OK &&
        sqlite3_exec(fresh, "PRAGMA synchronous=FULL", nullptr, nullptr, nullptr) == SQLITE_OK &&
        sqlite3_exec(fresh, spool_sql::schemaSql("main").c_str(), nullptr, nullptr, nullptr) ==
            SQLITE_OK;
    if (written) written = salvageSpool(m_db, fresh, kMaxLostNames, count);
    const std::string salvageProblem = fresh != nullptr ? sqlite3_errmsg(fresh) : "out of memory";
    sqlite3_close(fresh);
    if (!written) {
        problem = m_path + " is damaged (" + damage + ") and what it holds cannot be saved in " +
                  salvage + ": " + salvageProblem;
        return false;
    }
    close();
    repair.keptAs = asideName(m_path);
    for (const char* part : {"", "-wal", "-shm"}) {
        if (!exists(m_path + part)) continue;
        if (std::rename((m_path + part).c_str(), (repair.keptAs + part).c_str()) != 0 &&
            *part == '\0') {
            problem = m_path + " is damaged (" + damage +
                      ") and cannot be moved aside: " + std::strerror(errno);
            return false;
        }
    }
    repair.carried = count.carried;
    repair.lost = std::move(count.lost);
    repair.unnamed = count.unnamed;
    repair.unknown = count.unknown;
    repair.setAsideUnread = count.setAsideUnread;
    m_repair = std::move(repair);
    return openFile(m_path, Mode::Node, problem);
}

bool Spool::carryIn(const std::string& file, std::string& problem) {
    if (!exists(file)) return true;
    const auto done = [&](bool ok) {
        if (!ok) {
            problem = "cannot carry the messages of " + file + " into the spool: " + m_problem;
            rollback();
        }
        exec("DETACH DATABASE carry");
        return ok;
    };
    Statement attach(m_db, "ATTACH DATABASE ?1 AS carry");
    attach.bind(1, file);
    if (attach.step() != SQLITE_DONE) {
        fail();
        problem = "cannot carry the messages of " + file + " into the spool: " + m_problem;
        return false;
    }
    if (!exec(spool_sql::schemaSql("carry")) || !exec("BEGIN IMMEDIATE")) return done(false);
    const std::string columns = std::string(kMessageColumns);
    for (const std::string& sql :
         {"INSERT OR IGNORE INTO main.waiting(" + columns + ", bytes) SELECT " + columns +
              ", bytes FROM carry.waiting ORDER BY seq",
          "INSERT INTO main.refused(" + kRefusedColumns + ") SELECT " + kRefusedColumns +
              " FROM carry.refused c WHERE NOT EXISTS (SELECT 1 FROM main.refused r WHERE "
              "r.mid = c.mid)",
          std::string("INSERT INTO main.notices(mid, sender, reason) SELECT mid, sender, reason "
                      "FROM carry.notices c WHERE NOT EXISTS (SELECT 1 FROM main.notices n "
                      "WHERE n.mid = c.mid)")}) {
        if (!exec(sql)) return done(false);
    }
    if (!exec("COMMIT")) return done(false);
    done(true);
    QFile::remove(QString::fromStdString(file));
    QFile::remove(QString::fromStdString(file + "-journal"));
    return true;
}

bool Spool::open(const std::string& path, Limits limits, std::string& problem, Mode mode) {
    close();
    m_path = path;
    m_limits = limits;
    m_mode = mode;
    m_repair.reset();
    m_detached = false;
    m_settled.clear();
    m_problem.clear();
    m_lastCode = 0;
    if (!openFile(path, mode, problem)) return false;
    std::string damage;
    if (mode == Mode::Node && !check(damage) && !repairDamaged(damage, problem)) {
        close();
        return false;
    }
    if (!setUp(problem)) {
        close();
        return false;
    }
    if (mode == Mode::Operator) return true;
    // A repair's salvage, and a move's carry when the node stopped before it was carried in.
    // One that cannot be carried in stays where it is, and the open says so.
    m_leftoverProblem.clear();
    for (const char* leftover : {".salvage", ".carry"}) {
        std::string carryProblem;
        if (!carryIn(path + leftover, carryProblem))
            m_leftoverProblem += (m_leftoverProblem.empty() ? "" : "; ") + carryProblem;
    }
    return true;
}

Spool::AddResult Spool::add(const SpooledMessage& message) {
    if (m_db == nullptr) {
        m_problem = "the spool is not open";
        return AddResult::Failed;
    }
    if (m_detached) {
        m_problem = "the spool file " + m_path + " was deleted or replaced and cannot be made anew";
        return AddResult::Failed;
    }
    if (!exec("BEGIN IMMEDIATE")) return AddResult::Failed;
    Statement totals(m_db, "SELECT count(*), coalesce(sum(bytes), 0) FROM waiting");
    if (totals.step() != SQLITE_ROW) {
        fail();
        rollback();
        return AddResult::Failed;
    }
    const std::int64_t bytes = sizeOf(message);
    if (totals.integer(0) + 1 > m_limits.maxMessages ||
        totals.integer(1) + bytes > m_limits.maxBytes) {
        rollback();
        return AddResult::Full;
    }
    Statement insert(m_db, std::string("INSERT INTO waiting(") + kMessageColumns +
                               ", bytes) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8)");
    insert.bind(1, message.Mid);
    insert.bind(2, message.UserCall);
    insert.bind(3, message.AddressTo);
    insert.bind(4, message.AddressCc);
    insert.bind(5, message.Subject);
    insert.bind(6, message.Body);
    insert.bind(7, message.Originated.toString(Qt::ISODateWithMs).toStdString());
    insert.bind(8, bytes);
    if (insert.step() != SQLITE_DONE) {
        fail();
        rollback();
        return AddResult::Failed;
    }
    if (!exec("COMMIT")) {
        rollback();
        return AddResult::Failed;
    }
    // Committed, but to the file at the path? One deleted or replaced meanwhile is made anew
    // with everything it held; when that cannot be done the message is not kept.
    if (!moved()) return AddResult::Stored;
    std::string problem;
    if (relocate(problem)) return AddResult::Stored;
    if (m_db != nullptr) {
        Statement gone(m_db, "DELETE FROM waiting WHERE mid = ?1");
        gone.bind(1, message.Mid);
        gone.step();
    }
    m_problem = problem;
    return AddResult::Failed;
}

bool Spool::oldest(std::optional<SpooledMessage>& message) {
    message.reset();
    if (m_db == nullptr) {
        m_problem = "the spool is not open";
        return false;
    }
    Statement row(m_db, kSelectMessage + " FROM waiting ORDER BY seq");
    for (;;) {
        const int rc = row.step();
        if (rc == SQLITE_DONE) return true;
        if (rc != SQLITE_ROW) return fail();
        if (m_settled.count(row.text(0)) != 0) continue;
        message = messageAt(row);
        return true;
    }
}

bool Spool::remove(const std::string& mid) {
    if (m_db == nullptr) return false;
    Statement gone(m_db, "DELETE FROM waiting WHERE mid = ?1");
    gone.bind(1, mid);
    if (gone.step() == SQLITE_DONE) {
        m_settled.erase(mid);
        return true;
    }
    fail();
    m_settled[mid] = std::nullopt;
    return false;
}

bool Spool::setAside(const std::string& mid, const std::string& reason) {
    if (m_db == nullptr) return false;
    const auto remember = [&] {
        m_settled[mid] = reason;
        return false;
    };
    if (!exec("BEGIN IMMEDIATE")) return remember();
    for (const std::string& sql :
         {"INSERT INTO refused(" + std::string(kMessageColumns) + ", reason) SELECT " +
              kMessageColumns + ", ?2 FROM waiting WHERE mid = ?1",
          std::string("INSERT INTO notices(mid, sender, reason) SELECT mid, sender, ?2 FROM "
                      "waiting WHERE mid = ?1"),
          std::string("DELETE FROM waiting WHERE mid = ?1")}) {
        Statement step(m_db, sql);
        step.bind(1, mid);
        if (sql.find("?2") != std::string::npos) step.bind(2, reason);
        if (step.step() != SQLITE_DONE) {
            fail();
            rollback();
            return remember();
        }
    }
    if (!exec("COMMIT")) {
        rollback();
        return remember();
    }
    m_settled.erase(mid);
    return true;
}

std::vector<std::string> Spool::settle() {
    std::vector<std::string> done;
    const auto settled = m_settled;
    for (const auto& [mid, reason] : settled)
        if (reason ? setAside(mid, *reason) : remove(mid)) done.push_back(mid);
    return done;
}

std::optional<Spool::Figures> Spool::figures() {
    if (m_db == nullptr) {
        m_problem = "the spool is not open";
        return std::nullopt;
    }
    Figures figures;
    Statement counts(m_db, "SELECT (SELECT count(*) FROM waiting), (SELECT count(*) FROM refused)");
    if (counts.step() != SQLITE_ROW) {
        fail();
        return std::nullopt;
    }
    figures.undropped = static_cast<std::int64_t>(m_settled.size());
    figures.waiting = std::max<std::int64_t>(0, counts.integer(0) - figures.undropped);
    figures.setAside = counts.integer(1);
    Statement times(m_db, "SELECT mid, originated FROM waiting ORDER BY seq");
    for (;;) {
        const int rc = times.step();
        if (rc == SQLITE_DONE) break;
        if (rc != SQLITE_ROW) {
            fail();
            return std::nullopt;
        }
        if (m_settled.count(times.text(0)) != 0) continue;
        const QDateTime at =
            QDateTime::fromString(QString::fromStdString(times.text(1)), Qt::ISODateWithMs);
        if (at.isValid()) figures.oldest = at;
        break;
    }
    return figures;
}

bool Spool::hasWaitingFrom(const std::string& call) {
    if (m_db == nullptr) return false;
    Statement rows(m_db, "SELECT mid FROM waiting WHERE sender = ?1");
    rows.bind(1, call);
    while (rows.step() == SQLITE_ROW)
        if (m_settled.count(rows.text(0)) == 0) return true;
    return false;
}

std::optional<std::vector<SpooledMessage>> Spool::waitingList() {
    if (m_db == nullptr) return std::nullopt;
    std::vector<SpooledMessage> list;
    Statement rows(m_db, kSelectMessage + " FROM waiting ORDER BY seq");
    int rc = SQLITE_ROW;
    while ((rc = rows.step()) == SQLITE_ROW)
        list.push_back(messageAt(rows));
    if (rc != SQLITE_DONE) return fail(), std::nullopt;
    return list;
}

std::optional<std::vector<SetAsideMessage>> Spool::setAsideList() {
    if (m_db == nullptr) return std::nullopt;
    std::vector<SetAsideMessage> list;
    Statement rows(m_db, "SELECT " + kRefusedColumns + " FROM refused ORDER BY rowid");
    int rc = SQLITE_ROW;
    while ((rc = rows.step()) == SQLITE_ROW)
        list.push_back({messageAt(rows), rows.text(7), rows.text(8)});
    if (rc != SQLITE_DONE) return fail(), std::nullopt;
    return list;
}

Spool::Change Spool::retry(const std::string& mid) {
    if (m_db == nullptr || !exec("BEGIN IMMEDIATE")) return Change::Failed;
    Statement back(m_db, std::string("INSERT OR IGNORE INTO waiting(") + kMessageColumns +
                             ", bytes) SELECT " + kMessageColumns +
                             ", length(CAST(mid || sender || address_to || address_cc || "
                             "subject || body AS BLOB)) FROM refused WHERE mid = ?1 "
                             "ORDER BY rowid DESC LIMIT 1");
    back.bind(1, mid);
    Statement gone(m_db, "DELETE FROM refused WHERE mid = ?1");
    gone.bind(1, mid);
    Statement notice(m_db, "DELETE FROM notices WHERE mid = ?1");
    notice.bind(1, mid);
    if (back.step() != SQLITE_DONE || gone.step() != SQLITE_DONE) {
        fail();
        rollback();
        return Change::Failed;
    }
    if (sqlite3_changes(m_db) == 0) {
        rollback();
        return Change::NotFound;
    }
    if (notice.step() != SQLITE_DONE) {
        fail();
        rollback();
        return Change::Failed;
    }
    if (!exec("COMMIT")) {
        rollback();
        return Change::Failed;
    }
    return Change::Done;
}

Spool::Change Spool::drop(const std::string& mid) {
    if (m_db == nullptr) return Change::Failed;
    Statement gone(m_db, "DELETE FROM refused WHERE mid = ?1");
    gone.bind(1, mid);
    if (gone.step() != SQLITE_DONE) {
        fail();
        return Change::Failed;
    }
    return sqlite3_changes(m_db) == 0 ? Change::NotFound : Change::Done;
}

std::optional<std::vector<SpoolNotice>> Spool::noticesFor(const std::string& call) {
    if (m_db == nullptr) return std::nullopt;
    std::vector<SpoolNotice> notices;
    Statement rows(
        m_db, "SELECT mid, reason FROM notices WHERE upper(sender) = upper(?1) ORDER BY rowid");
    rows.bind(1, call);
    int rc = SQLITE_ROW;
    while ((rc = rows.step()) == SQLITE_ROW)
        notices.push_back({rows.text(0), rows.text(1)});
    if (rc != SQLITE_DONE) return fail(), std::nullopt;
    return notices;
}

bool Spool::forgetNotices(const std::string& call) {
    if (m_db == nullptr) return false;
    Statement gone(m_db, "DELETE FROM notices WHERE upper(sender) = upper(?1)");
    gone.bind(1, call);
    return gone.step() == SQLITE_DONE || fail();
}

bool Spool::moved() {
    int moved = 0;
    return m_db != nullptr &&
           sqlite3_file_control(m_db, "main", SQLITE_FCNTL_HAS_MOVED, &moved) == SQLITE_OK &&
           moved != 0;
}

bool Spool::relocate(std::string& problem) {
    // Everything the open file holds goes into a carry file beside the path first; the open
    // file is let go only once that is on the disk.
    const std::string carry = m_path + ".carry";
    const auto keep = [&](const std::string& why) {
        problem = why + ": " + m_problem;
        exec("DETACH DATABASE carry");
        m_detached = true;
        return false;
    };
    if (!makePrivateFolder(QFileInfo(QString::fromStdString(m_path)).absolutePath().toStdString()))
        return keep("cannot make the folder of " + m_path);
    {
        // Finalized before the open file is closed below.
        Statement attach(m_db, "ATTACH DATABASE ?1 AS carry");
        attach.bind(1, carry);
        if (attach.step() != SQLITE_DONE) return fail(), keep("cannot write " + carry);
    }
    const std::string columns = std::string(kMessageColumns);
    if (!exec(spool_sql::schemaSql("carry")) || !exec("BEGIN IMMEDIATE"))
        return keep("cannot write " + carry);
    for (const std::string& sql :
         {"INSERT OR IGNORE INTO carry.waiting(" + columns + ", bytes) SELECT " + columns +
              ", bytes FROM main.waiting ORDER BY seq",
          "INSERT INTO carry.refused(" + kRefusedColumns + ") SELECT " + kRefusedColumns +
              " FROM main.refused",
          std::string("INSERT INTO carry.notices SELECT * FROM main.notices")})
        if (!exec(sql)) return rollback(), keep("cannot write " + carry);
    if (!exec("COMMIT")) return rollback(), keep("cannot write " + carry);
    exec("DETACH DATABASE carry");
    const auto settled = m_settled;
    if (!open(m_path, m_limits, problem, Mode::Node)) {
        problem += " (the spool's messages are kept in " + carry + ")";
        return false;
    }
    m_settled = settled;
    ++m_relocations;
    return true;
}

bool Spool::changedElsewhere() {
    if (m_db == nullptr) return false;
    Statement version(m_db, "PRAGMA data_version");
    if (version.step() != SQLITE_ROW) return false;
    const std::int64_t now = version.integer(0);
    const bool changed = now != m_dataVersion;
    m_dataVersion = now;
    return changed;
}

bool Spool::damageSeen() const {
    return isDamage(m_lastCode);
}

} // namespace gw
