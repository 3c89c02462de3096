// Spool: the sends the server could not take yet, in an SQLite file that survives a crash,
// oldest first, with those the server refused for good set aside for the operator; the file
// is checked at open (a damaged one repaired) and followed while in use (one deleted, made anew).
#pragma once

#include <QDateTime>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

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

// A message the server refused for good, with its reason and when it was set aside (UTC
// text as SQLite keeps it).
struct SetAsideMessage {
    SpooledMessage message;
    std::string reason;
    std::string at;
};

// What a sender is still to hear of a message set aside.
struct SpoolNotice {
    std::string mid;
    std::string reason;
};

class Spool {
  public:
    struct Limits {
        std::int64_t maxMessages = 500;
        std::int64_t maxBytes = 1024 * 1024;
    };
    enum class AddResult { Stored, Full, Failed };
    // The node's own open checks, repairs and creates the file; the operator's command only
    // opens one that is there.
    enum class Mode { Node, Operator };
    // What an open found in a damaged file and did about it.
    struct Repair {
        std::string damage; // what the check or the first read said
        std::string keptAs; // the damaged file's new name
        std::int64_t carried = 0;
        std::vector<std::string> lost; // messages known by MID that could not be read
        std::int64_t unnamed = 0;      // more lost ones beyond the names kept
        bool unknown = false;          // some part could not be read at all: more may be lost
        bool setAsideUnread = false;   // the messages set aside could not all be read
    };
    // The figures the status views show. Messages delivered but still in the file are not
    // waiting; they are counted apart.
    struct Figures {
        std::int64_t waiting = 0;
        std::int64_t setAside = 0;
        std::int64_t undropped = 0;
        std::optional<QDateTime> oldest;
    };
    enum class Change { Done, NotFound, Failed };

    static constexpr std::size_t kMaxLostNames = 1000;

    Spool() = default;
    ~Spool();
    Spool(const Spool&) = delete;
    Spool& operator=(const Spool&) = delete;

    // Opens the spool file; false with the reason in `problem`. In Mode::Node the file is
    // created when missing and checked; a damaged one is repaired (see repair()), and files
    // left by an interrupted repair or move are carried in.
    bool open(const std::string& path, Limits limits, std::string& problem, Mode mode = Mode::Node);
    bool isOpen() const { return m_db != nullptr; }
    const std::string& path() const { return m_path; }
    // What the last open repaired; empty when the file was sound.
    const std::optional<Repair>& repair() const { return m_repair; }
    // Why a file left by an interrupted repair or move could not be carried in by the last
    // open; empty when there was none or it was.
    const std::string& leftoverProblem() const { return m_leftoverProblem; }

    // Commits the message before returning Stored, in the file that is the spool's path at
    // that moment; Full when the limits would be passed, and Failed (with the reason in
    // problem()) when the file could not take it.
    AddResult add(const SpooledMessage& message);
    // The oldest message waiting that the server has not dealt with yet; false when the file
    // could not be read (the reason in problem()).
    bool oldest(std::optional<SpooledMessage>& message);
    // Takes a message out once the server has it. When the file cannot drop it, the message
    // is remembered as delivered and not offered again while the node runs.
    bool remove(const std::string& mid);
    // Moves a message aside with the server's reason and leaves a notice for its sender;
    // remembered like remove() when the file cannot take the change.
    bool setAside(const std::string& mid, const std::string& reason);
    // Carries out the changes remembered above; the MIDs now done.
    std::vector<std::string> settle();
    std::size_t unsettled() const { return m_settled.size(); }

    std::optional<Figures> figures();
    // Whether any message of `call` waits (delivered ones not counted); false when unreadable.
    bool hasWaitingFrom(const std::string& call);
    std::optional<std::vector<SpooledMessage>> waitingList();
    std::optional<std::vector<SetAsideMessage>> setAsideList();
    // The operator's choice for a message set aside: back at the end of the queue (its
    // notice withdrawn), or gone.
    Change retry(const std::string& mid);
    Change drop(const std::string& mid);
    std::optional<std::vector<SpoolNotice>> noticesFor(const std::string& call);
    bool forgetNotices(const std::string& call);

    // True when the file at the path is no longer the one open (deleted or replaced).
    bool moved();
    // Makes the spool anew at its path with everything the open file holds. On failure the
    // open file stays in use (detached() is true) and nothing new is accepted.
    bool relocate(std::string& problem);
    bool detached() const { return m_detached; }
    // How often the file was made anew so far.
    std::uint64_t relocations() const { return m_relocations; }
    // True once after another program (the operator's command) changed the file.
    bool changedElsewhere();
    // The last failure read the file as damaged: a new open() will repair it.
    bool damageSeen() const;
    const std::string& problem() const { return m_problem; }

  private:
    bool openFile(const std::string& path, Mode mode, std::string& problem);
    bool setUp(std::string& problem);
    bool check(std::string& damage);
    bool repairDamaged(const std::string& damage, std::string& problem);
    bool carryIn(const std::string& file, std::string& problem);
    bool exec(const std::string& sql);
    bool fail();
    void rollback();
    void close();

    sqlite3* m_db = nullptr;
    std::string m_path;
    Limits m_limits;
    Mode m_mode = Mode::Node;
    std::string m_problem;
    int m_lastCode = 0;
    std::optional<Repair> m_repair;
    std::string m_leftoverProblem;
    bool m_detached = false;
    std::uint64_t m_relocations = 0;
    std::int64_t m_dataVersion = 0;
    // Messages the server has dealt with that the file still holds: the MID, and the
    // server's reason when it is to be set aside rather than dropped.
    std::map<std::string, std::optional<std::string>> m_settled;
};

} // namespace gw
