#include "SqliteStore.h"

#include "files/FileError.h"

#include <sqlite3.h>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char kSchema[] = R"(
CREATE TABLE submissions (
    id INTEGER PRIMARY KEY,
    source TEXT NOT NULL,
    message_id TEXT,
    date TEXT,
    date_header TEXT,
    added TEXT NOT NULL DEFAULT (strftime('%Y-%m-%d %H:%M:%S', 'now')),
    mailbox TEXT,
    uidvalidity INTEGER,
    uid INTEGER,
    digest TEXT NOT NULL
);
CREATE INDEX submissions_by_message_id ON submissions (message_id) WHERE message_id IS NOT NULL;
CREATE INDEX submissions_by_uid ON submissions (mailbox, uidvalidity, uid) WHERE mailbox IS NOT NULL;
CREATE INDEX submissions_by_digest ON submissions (digest);
CREATE TABLE mailboxes (
    mailbox TEXT NOT NULL,
    uidvalidity INTEGER NOT NULL,
    last_uid INTEGER NOT NULL,
    PRIMARY KEY (mailbox, uidvalidity)
) WITHOUT ROWID;
CREATE TABLE fields (
    submission INTEGER NOT NULL REFERENCES submissions (id),
    position INTEGER NOT NULL,
    name TEXT NOT NULL,
    value TEXT NOT NULL,
    PRIMARY KEY (submission, position)
) WITHOUT ROWID;
CREATE VIEW submission_rows AS
    SELECT s.id, s.source, s.date, s.message_id, s.added,
           (SELECT json_group_array(json_array(f.name, f.value))
              FROM (SELECT name, value FROM fields WHERE submission = s.id ORDER BY position) AS f)
               AS fields
      FROM submissions AS s ORDER BY s.id;
)";

// A kept form, given as URL-encoded text: every byte of its names and values
// but letters, digits and "-._~" as a %XX escape, so that standard decoding
// gives them back exactly.
class KeptFormText : public FormText
{
public:
    using Fields =
        std::function<void(const std::function<void(std::string_view, std::string_view)>&)>;
    explicit KeptFormText(Fields fields) : m_fields(std::move(fields)) {}

    void read(const Piece& piece) override
    {
        bool first = true, more = true;
        m_fields([&](std::string_view name, std::string_view value) {
            if (!more)
                return;
            std::string text = first ? "" : "&";
            first = false;
            encode(name, text);
            text += '=';
            encode(value, text);
            more = piece(text);
        });
    }

private:
    static void encode(std::string_view bytes, std::string& out)
    {
        static const char hex[] = "0123456789ABCDEF";
        for (const char c : bytes) {
            const auto b = static_cast<unsigned char>(c);
            if ((b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') || (b >= '0' && b <= '9') ||
                b == '-' || b == '.' || b == '_' || b == '~') {
                out += c;
            } else {
                out += '%';
                out += hex[b >> 4];
                out += hex[b & 15];
            }
        }
    }

    Fields m_fields;
};

} // namespace

// One prepared statement, reset after each use.
class SqliteStore::Statement
{
public:
    Statement(SqliteStore& store, const char* sql) : m_store(store)
    {
        const int code = sqlite3_prepare_v3(store.m_db, sql, -1, SQLITE_PREPARE_PERSISTENT,
                                            &m_statement, nullptr);
        if (code != SQLITE_OK)
            store.fail(code, "read");
    }
    ~Statement() { sqlite3_finalize(m_statement); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    Statement& bind(int index, std::string_view text)
    {
        check(sqlite3_bind_text(m_statement, index, text.data(), static_cast<int>(text.size()),
                                SQLITE_TRANSIENT));
        return *this;
    }
    Statement& bindOptional(int index, const std::optional<std::string>& text)
    {
        if (!text)
            check(sqlite3_bind_null(m_statement, index));
        else
            bind(index, std::string_view(*text));
        return *this;
    }
    Statement& bind(int index, std::int64_t number)
    {
        check(sqlite3_bind_int64(m_statement, index, number));
        return *this;
    }

    // Steps to the next row; false after the last, when the statement is
    // reset for its next use.
    bool step(const char* doing = "read")
    {
        const int code = sqlite3_step(m_statement);
        if (code == SQLITE_ROW)
            return true;
        sqlite3_reset(m_statement);
        sqlite3_clear_bindings(m_statement);
        if (code != SQLITE_DONE)
            m_store.fail(code, doing);
        return false;
    }
    // Steps once, and resets; returns whether there was a row.
    bool once(const char* doing = "read")
    {
        const bool row = step(doing);
        if (row) {
            sqlite3_reset(m_statement);
            sqlite3_clear_bindings(m_statement);
        }
        return row;
    }

    std::int64_t integer(int column) { return sqlite3_column_int64(m_statement, column); }
    bool isNull(int column) { return sqlite3_column_type(m_statement, column) == SQLITE_NULL; }
    std::string_view text(int column)
    {
        const auto* data = reinterpret_cast<const char*>(sqlite3_column_text(m_statement, column));
        return data ? std::string_view(
                          data, static_cast<std::size_t>(sqlite3_column_bytes(m_statement, column)))
                    : std::string_view();
    }
    std::optional<std::string> optional(int column)
    {
        return isNull(column) ? std::nullopt : std::optional<std::string>(text(column));
    }

private:
    void check(int code)
    {
        if (code != SQLITE_OK)
            m_store.fail(code, "write");
    }

    SqliteStore& m_store;
    sqlite3_stmt* m_statement = nullptr;
};

SqliteStore::SqliteStore(std::string path, Mode mode, int lockWaitSeconds) : m_path(std::move(path))
{
    try {
        open(mode, lockWaitSeconds);
    } catch (...) {
        close();
        throw;
    }
}

SqliteStore::~SqliteStore()
{
    close();
}

void SqliteStore::close()
{
    for (auto* slot : {&m_hasMessageId, &m_hasUid, &m_hasDigest, &m_highestUid, &m_markRead, &m_add,
                       &m_addField})
        slot->reset();
    if (m_db) {
        if (m_inTransaction && !sqlite3_get_autocommit(m_db))
            sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
        sqlite3_close_v2(m_db);
        m_db = nullptr;
    }
    if (m_created) {
        // The run made the file and keeps nothing: it goes again.
        ::unlink(m_path.c_str());
        ::unlink((m_path + "-journal").c_str());
        m_created = false;
    }
}

void SqliteStore::open(Mode mode, int lockWaitSeconds)
{
    struct stat st
    {
    };
    const bool existed = ::stat(m_path.c_str(), &st) == 0;
    if (!existed && mode == Mode::Export)
        throw FileError::fromErrno("read", m_path, errno);
    if (existed && S_ISDIR(st.st_mode))
        throw FileError::fromErrno(mode == Mode::Add ? "write" : "read", m_path, EISDIR);
    const int flags =
        mode == Mode::Add ? SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE : SQLITE_OPEN_READONLY;
    const int code = sqlite3_open_v2(m_path.c_str(), &m_db, flags, nullptr);
    m_created = !existed && m_db;
    if (code != SQLITE_OK)
        fail(code, mode == Mode::Add ? "write" : "read");
    sqlite3_extended_result_codes(m_db, 1);
    sqlite3_busy_timeout(m_db, lockWaitSeconds * 1000);
    m_lockWait = lockWaitSeconds;
    exec(mode == Mode::Add ? "BEGIN IMMEDIATE" : "BEGIN");
    m_inTransaction = true;
    checkSchema(mode);
}

void SqliteStore::checkSchema(Mode mode)
{
    Statement id(*this, "PRAGMA application_id");
    Statement version(*this, "PRAGMA user_version");
    Statement objects(*this, "SELECT count(*) FROM sqlite_master");
    id.step();
    const std::int64_t applicationId = id.integer(0);
    id.step();
    version.step();
    const std::int64_t schema = version.integer(0);
    version.step();
    objects.step();
    const std::int64_t count = objects.integer(0);
    objects.step();
    const std::string untouched = "; it was left untouched";
    if (applicationId == 0 && count == 0 && schema == 0) {
        if (mode == Mode::Export)
            throw FileError("read", m_path,
                            "it holds no submissions: it is not a database "
                            "that formtidy-decode wrote");
        exec(kSchema);
        exec(("PRAGMA application_id = " + std::to_string(kApplicationId)).c_str());
        exec(("PRAGMA user_version = " + std::to_string(kSchemaVersion)).c_str());
        return;
    }
    if (applicationId != kApplicationId)
        throw FileError(mode == Mode::Add ? "write" : "read", m_path,
                        "it is not a database that formtidy-decode wrote" + untouched);
    if (schema > kSchemaVersion)
        throw FileError(mode == Mode::Add ? "write" : "read", m_path,
                        "its schema version " + std::to_string(schema) +
                            " is newer than this formtidy-decode knows (" +
                            std::to_string(kSchemaVersion) + ")" + untouched);
    if (schema < 1)
        throw FileError(mode == Mode::Add ? "write" : "read", m_path,
                        "it has no schema version" + untouched);
}

void SqliteStore::exec(const char* sql)
{
    const int code = sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr);
    if (code != SQLITE_OK)
        fail(code, "write");
}

void SqliteStore::fail(int code, const std::string& doing)
{
    std::string reason;
    switch (code & 0xFF) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        reason = "it is in use by another run (waited " + std::to_string(m_lockWait) +
                 " s); nothing was changed, try again later";
        break;
    case SQLITE_FULL:
        reason = "the disk is full";
        break;
    case SQLITE_NOTADB:
        reason = "it is not an SQLite database; it was left untouched";
        break;
    case SQLITE_CANTOPEN:
        reason = "it cannot be opened";
        break;
    case SQLITE_READONLY:
        // SQLite's own words say only that the database is read-only.
        reason = code == SQLITE_READONLY_DIRECTORY
                     ? "its folder cannot be written, and SQLite writes its journal there"
                     : "it cannot be written";
        break;
    default:
        reason = m_db ? sqlite3_errmsg(m_db) : sqlite3_errstr(code);
        break;
    }
    const int err = m_db ? sqlite3_system_errno(m_db) : 0;
    if (err != 0 && (code & 0xFF) != SQLITE_FULL && (code & 0xFF) != SQLITE_BUSY)
        reason += " (" + FileError::fromErrno(doing, m_path, err).reason() + ")";
    if (m_inTransaction && (code & 0xFF) != SQLITE_BUSY && (code & 0xFF) != SQLITE_NOTADB)
        reason += "; the database is as it was before this run";
    throw FileError(doing, m_path, reason);
}

SqliteStore::Statement& SqliteStore::statement(std::unique_ptr<Statement>& slot, const char* sql)
{
    if (!slot)
        slot = std::make_unique<Statement>(*this, sql);
    return *slot;
}

bool SqliteStore::hasMessageId(const std::string& messageId)
{
    return statement(m_hasMessageId, "SELECT 1 FROM submissions WHERE message_id = ?")
        .bind(1, messageId)
        .once();
}

bool SqliteStore::hasUid(const std::string& mailbox, std::uint32_t uidValidity, std::uint32_t uid)
{
    return statement(m_hasUid, "SELECT 1 FROM submissions WHERE mailbox = ? AND uidvalidity = ? "
                               "AND uid = ?")
        .bind(1, mailbox)
        .bind(2, std::int64_t(uidValidity))
        .bind(3, std::int64_t(uid))
        .once();
}

bool SqliteStore::hasDigest(const std::string& digest)
{
    return statement(m_hasDigest, "SELECT 1 FROM submissions WHERE digest = ?")
        .bind(1, digest)
        .once();
}

std::optional<std::uint32_t> SqliteStore::highestUid(const std::string& mailbox,
                                                     std::uint32_t uidValidity)
{
    Statement& max = statement(
        m_highestUid, "SELECT max((SELECT max(uid) FROM submissions WHERE mailbox = ?1 AND "
                      "uidvalidity = ?2), (SELECT last_uid FROM mailboxes WHERE mailbox = ?1 AND "
                      "uidvalidity = ?2))");
    max.bind(1, mailbox).bind(2, std::int64_t(uidValidity)).step();
    std::optional<std::uint32_t> uid;
    if (!max.isNull(0))
        uid = static_cast<std::uint32_t>(max.integer(0));
    max.step();
    return uid;
}

void SqliteStore::markRead(const std::string& mailbox, std::uint32_t uidValidity, std::uint32_t uid)
{
    statement(m_markRead, "INSERT INTO mailboxes (mailbox, uidvalidity, last_uid) "
                          "VALUES (?1, ?2, ?3) ON CONFLICT DO UPDATE SET "
                          "last_uid = max(last_uid, ?3)")
        .bind(1, mailbox)
        .bind(2, std::int64_t(uidValidity))
        .bind(3, std::int64_t(uid))
        .step("write");
}

std::int64_t SqliteStore::add(const Submission& submission, const std::string& digest)
{
    Statement& insert =
        statement(m_add, "INSERT INTO submissions (source, message_id, date, date_header, mailbox, "
                         "uidvalidity, uid, digest) VALUES (?, ?, ?, ?, ?, ?, ?, ?)");
    insert.bind(1, submission.source)
        .bindOptional(2, submission.messageId)
        .bindOptional(3, submission.utcDate ? submission.utcDate : submission.date)
        .bindOptional(4, submission.date)
        .bind(8, digest);
    if (!submission.mailbox.empty())
        insert.bind(5, submission.mailbox)
            .bind(6, std::int64_t(submission.uidValidity))
            .bind(7, std::int64_t(submission.uid));
    insert.step("write");
    return sqlite3_last_insert_rowid(m_db);
}

void SqliteStore::addField(std::int64_t submission, std::int64_t position, std::string_view name,
                           std::string_view value)
{
    statement(m_addField, "INSERT INTO fields (submission, position, name, value) "
                          "VALUES (?, ?, ?, ?)")
        .bind(1, submission)
        .bind(2, position)
        .bind(3, name)
        .bind(4, value)
        .step("write");
}

void SqliteStore::commit()
{
    exec("COMMIT");
    m_inTransaction = false;
    m_created = false;
}

void SqliteStore::forEachKept(const std::function<void(const Submission&, FormBody&)>& each)
{
    Statement rows(*this, "SELECT id, source, message_id, date, date_header FROM submissions "
                          "ORDER BY id");
    Statement fields(*this, "SELECT name, value FROM fields WHERE submission = ? "
                            "ORDER BY position");
    while (rows.step()) {
        Submission submission;
        submission.source = std::string(rows.text(1));
        submission.mail = true;
        submission.messageId = rows.optional(2);
        submission.utcDate = rows.optional(3);
        submission.date = rows.optional(4);
        const std::int64_t id = rows.integer(0);
        FormBody body(std::make_unique<KeptFormText>([&fields, id](const auto& field) {
                          fields.bind(1, id);
                          while (fields.step())
                              field(fields.text(0), fields.text(1));
                      }),
                      FormKind::UrlEncoded, FormBody::End::AsIs, "utf-8");
        body.setCharsetField(std::nullopt);
        each(submission, body);
    }
}
