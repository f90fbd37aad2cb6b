#pragma once

#include "SqliteStore.h"
#include "SqliteWriter.h"
#include "SubmissionStore.h"

// A SubmissionStore in SQLite: a SqliteStore and the SqliteWriter that keeps
// submissions in it.
class SqliteSubmissionStore final : public SubmissionStore
{
public:
    SqliteSubmissionStore(const std::string& path, SqliteStore::Mode mode, int lockWaitSeconds,
                          FormDecoding decoding)
        : m_store(path, mode, lockWaitSeconds), m_writer(m_store, decoding)
    {}

    SqliteStore& store() { return m_store; }

    const std::string& path() const override { return m_store.path(); }
    SubmissionWriter& writer() override { return m_writer; }
    std::uint64_t added() const override { return m_writer.added(); }
    std::uint64_t skipped() const override { return m_writer.skipped(); }
    void commit() override { m_store.commit(); }
    void forEachKept(const std::function<void(const Submission&, FormBody&)>& each) override
    {
        m_store.forEachKept(each);
    }

private:
    SqliteStore m_store;
    SqliteWriter m_writer;
};
