#pragma once

#include "FormBody.h"
#include "SubmissionWriter.h"

#include <cstdint>
#include <functional>
#include <string>

// A database that keeps each submission once, as the tool uses it: what
// writer() is given is kept, unless it was kept already, and nothing of a run
// is kept unless commit() is reached. SqliteStore and SqliteWriter do the
// work, in the library of formats (see FormatLibrary), which makes the store.
class SubmissionStore
{
public:
    virtual ~SubmissionStore() = default;

    virtual const std::string& path() const = 0;
    virtual SubmissionWriter& writer() = 0;
    // How many submissions the writer kept, and how many were kept already.
    virtual std::uint64_t added() const = 0;
    virtual std::uint64_t skipped() const = 0;
    // See SqliteStore.
    virtual void commit() = 0;
    virtual void forEachKept(const std::function<void(const Submission&, FormBody&)>& each) = 0;
};
