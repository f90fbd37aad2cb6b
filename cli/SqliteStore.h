#pragma once

#include "FormBody.h"
#include "SubmissionWriter.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

// A database of kept submissions, in SQLite. Its schema (version 1):
//
//   submissions(id, source, message_id, date, date_header, added, mailbox,
//               uidvalidity, uid, digest)
//     one row per submission: where it came from, its Message-ID (without
//     the angle brackets), its Date header in UTC as "YYYY-MM-DD HH:MM:SS"
//     (as written where it does not parse) and as written, when it was added
//     (UTC), for a message of an IMAP mailbox the mailbox
//     (imaps://USER@HOST/MAILBOX), its UIDVALIDITY and the message's UID, and
//     the SHA-256 of its form body and date;
//   mailboxes(mailbox, uidvalidity, last_uid)
//     the highest UID read of each IMAP mailbox, with a form or without,
//     when the whole mailbox was read (no --search or --since);
//   fields(submission, position, name, value)
//     its fields in order from 1, in UTF-8;
//   submission_rows(id, source, date, message_id, added, fields)
//     a view of one row per submission, its fields a JSON array of
//     [name, value] pairs.
//
// The database says it is one of ours by its application_id and gives its
// schema's version as user_version; a database with another application_id,
// or with tables but no application_id, or of a newer version, is refused
// and left untouched. Everything a run does is one transaction: nothing of it
// is kept unless commit() is reached, so that an error, a kill or a full disk
// leaves the database as it was; a database that did not exist before the run
// is removed again.
class SqliteStore
{
public:
    enum class Mode
    {
        Add,    // create the database where needed, and add to it
        Export, // read only
    };

    static constexpr std::int32_t kApplicationId = 0x46544459; // "FTDY"
    static constexpr int kSchemaVersion = 1;

    // Opens `path` and starts the run's transaction, waiting up to
    // `lockWaitSeconds` for another run that holds the database. Throws
    // FileError, naming the file, when it cannot.
    SqliteStore(std::string path, Mode mode, int lockWaitSeconds);
    ~SqliteStore();
    SqliteStore(const SqliteStore&) = delete;
    SqliteStore& operator=(const SqliteStore&) = delete;

    const std::string& path() const { return m_path; }

    // Whether a submission is kept already: by its Message-ID, by its place
    // in an IMAP mailbox, or by the digest of its form body and date.
    bool hasMessageId(const std::string& messageId);
    bool hasUid(const std::string& mailbox, std::uint32_t uidValidity, std::uint32_t uid);
    bool hasDigest(const std::string& digest);
    // The highest UID kept or read of `mailbox` under `uidValidity`, if any.
    std::optional<std::uint32_t> highestUid(const std::string& mailbox, std::uint32_t uidValidity);
    // Notes that every message of `mailbox` up to `uid` was read, with a form
    // or without, so that --new passes over those without one too.
    void markRead(const std::string& mailbox, std::uint32_t uidValidity, std::uint32_t uid);

    // Adds a submission and returns its id; then its fields, in order.
    std::int64_t add(const Submission& submission, const std::string& digest);
    void addField(std::int64_t submission, std::int64_t position, std::string_view name,
                  std::string_view value);

    // Ends the transaction, keeping what it added. Throws FileError.
    void commit();

    // Gives every kept submission, in the order it was added, with its form
    // as a body that yields its kept fields (URL-encoded in UTF-8, to be read
    // with standard decoding).
    void forEachKept(const std::function<void(const Submission&, FormBody&)>& each);

private:
    class Statement;

    void open(Mode mode, int lockWaitSeconds);
    void close();
    void checkSchema(Mode mode);
    void exec(const char* sql);
    [[noreturn]] void fail(int code, const std::string& doing);
    Statement& statement(std::unique_ptr<Statement>& slot, const char* sql);

    std::string m_path;
    sqlite3* m_db = nullptr;
    bool m_inTransaction = false;
    bool m_created = false;
    int m_lockWait = 0;
    std::unique_ptr<Statement> m_hasMessageId, m_hasUid, m_hasDigest, m_highestUid, m_markRead,
        m_add, m_addField;
};
