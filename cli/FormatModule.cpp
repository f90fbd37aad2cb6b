// The library of formats that formtidy-decode opens when a run asks for one
// (see FormatLibrary.h): its table of entry points.

#include "CsvWriter.h"
#include "FormatLibrary.h"
#include "JsonLinesWriter.h"
#include "SqliteWriter.h"

namespace {

// A database and the writer that keeps submissions in it.
class Database final : public SubmissionStore
{
public:
    Database(const std::string& path, SqliteStore::Mode mode, int lockWaitSeconds,
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

class FormatModule final : public FormatLibrary
{
public:
    std::unique_ptr<SubmissionWriter> writer(const DecodeOptions& options,
                                             SubmissionWriter::Sink sink) const override
    {
        if (options.format == DecodeOptions::Format::Json)
            return std::make_unique<JsonLinesWriter>(std::move(sink), options.decoding);
        // A database keeps mail's columns.
        return std::make_unique<CsvWriter>(std::move(sink), options.decoding,
                                           options.mail || !options.from.empty(),
                                           options.escapeFormulas);
    }

    std::unique_ptr<SubmissionStore> database(const std::string& path, SqliteStore::Mode mode,
                                              int lockWaitSeconds,
                                              FormDecoding decoding) const override
    {
        return std::make_unique<Database>(path, mode, lockWaitSeconds, decoding);
    }

    void readMail(FileReader& in, SubmissionWriter& writer,
                  const MailReader::Report& report) const override
    {
        MailReader::readAll(in, writer, report);
    }

    void readImap(const ImapUrl& url, const ImapReader::Choice& choice, SubmissionStore* store,
                  SubmissionWriter& writer, const MailReader::Report& report) const override
    {
        ImapReader::readAll(url, choice, store ? &static_cast<Database*>(store)->store() : nullptr,
                            writer, report);
    }
};

} // namespace

extern "C" __attribute__((visibility("default"))) const FormatLibrary* formtidy_format_library()
{
    static const FormatModule module;
    return &module;
}
