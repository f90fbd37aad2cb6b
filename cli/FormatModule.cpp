// The library of formats that formtidy-decode opens when a run asks for one
// (see FormatLibrary.h): its table of entry points.

#include "CsvWriter.h"
#include "FormatLibrary.h"
#include "JsonLinesWriter.h"
#include "SqliteSubmissionStore.h"

namespace {

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
        return std::make_unique<SqliteSubmissionStore>(path, mode, lockWaitSeconds, decoding);
    }

    void readMail(FileReader& in, SubmissionWriter& writer,
                  const MailReader::Report& report) const override
    {
        MailReader::readAll(in, writer, report);
    }

    void readImap(const ImapUrl& url, const ImapReader::Choice& choice, SubmissionStore* store,
                  SubmissionWriter& writer, const MailReader::Report& report) const override
    {
        SqliteStore* sqlite =
            store ? &static_cast<SqliteSubmissionStore*>(store)->store() : nullptr;
        ImapReader::readAll(url, choice, sqlite, writer, report);
    }
};

} // namespace

extern "C" __attribute__((visibility("default"))) const FormatLibrary* formtidy_format_library()
{
    static const FormatModule module;
    return &module;
}
