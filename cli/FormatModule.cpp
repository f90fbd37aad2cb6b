// The library of formats that formtidy-decode opens when a run asks for one
// (see FormatLibrary.h): its table of entry points.

#include "FormatLibrary.h"
#include "GObjectPtr.h"
#include "SqliteSubmissionStore.h"

namespace {

class FormatModule final : public FormatLibrary
{
public:
    iconv_t openIconv(const char* charset) const override
    {
        InitGMime();
        return g_mime_iconv_open("UTF-8", charset);
    }

    void closeIconv(iconv_t converter) const override { g_mime_iconv_close(converter); }

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
