#pragma once

#include "SubmissionWriter.h"

#include "convert/FormDecoder.h"

#include <cstdint>

class SqliteStore;

// Keeps each submission once in a SqliteStore, its fields in UTF-8 (see
// FormFields). A submission is kept already when one with its Message-ID is;
// without a Message-ID, when one from the same place in the same IMAP
// mailbox is, or one with the same form body and date (read again after the
// mailbox's UIDVALIDITY changed, or from a saved copy). Those are counted and
// passed over.
class SqliteWriter : public SubmissionWriter
{
public:
    SqliteWriter(SqliteStore& store, FormDecoding decoding) : m_store(store), m_decoding(decoding)
    {}

    std::optional<std::string> write(const Submission& submission, FormBody& body) override;

    std::uint64_t added() const { return m_added; }
    std::uint64_t skipped() const { return m_skipped; }

    // The SHA-256 of a form body's text and the date, in hexadecimal.
    static std::string digest(const FormBody& body, const std::optional<std::string>& date);

private:
    SqliteStore& m_store;
    FormDecoding m_decoding;
    std::uint64_t m_added = 0;
    std::uint64_t m_skipped = 0;
};
