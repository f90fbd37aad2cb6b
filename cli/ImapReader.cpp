#include "ImapReader.h"

#include "GObjectPtr.h"
#include "SqliteStore.h"

#include "files/FileError.h"
#include "files/FileWriter.h"

#include <algorithm>
#include <cerrno>
#include <unistd.h>

namespace {

// Writes each fetched message to a file of its own without a name, then
// reads it as saved mail.
class Spool : public ImapSession::Fetched
{
public:
    Spool(const ImapUrl& url, std::uint32_t uidValidity, SubmissionWriter& writer,
          const MailReader::Report& report)
        : m_url(url), m_uidValidity(uidValidity), m_writer(writer), m_report(report)
    {}
    ~Spool() override { drop(); }

    void begin() override
    {
        drop();
        m_fd = FileWriter::openScratchFile();
        if (m_fd < 0)
            throw FileError::fromErrno("write", FileWriter::scratchFolder(), errno);
        m_stream.reset(g_mime_stream_fs_new(m_fd));
        g_mime_stream_fs_set_owner(GMIME_STREAM_FS(m_stream.get()), FALSE);
    }

    void piece(std::string_view bytes) override
    {
        if (g_mime_stream_write(m_stream.get(), bytes.data(), bytes.size()) !=
            static_cast<ssize_t>(bytes.size()))
            throw FileError::fromErrno("write", FileWriter::scratchFolder(), errno ? errno : EIO);
    }

    void end(std::uint32_t uid) override
    {
        m_stream.reset();
        const int fd = m_fd;
        m_fd = -1;
        Submission submission;
        submission.source = m_url.name() + ";UIDVALIDITY=" + std::to_string(m_uidValidity) +
                            ";UID=" + std::to_string(uid);
        submission.mailbox = m_url.key();
        submission.uidValidity = m_uidValidity;
        submission.uid = uid;
        MailReader::readOne(fd, m_url.name() + ": UID " + std::to_string(uid),
                            std::move(submission), m_writer, m_report);
    }

private:
    void drop()
    {
        m_stream.reset();
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }

    const ImapUrl& m_url;
    std::uint32_t m_uidValidity;
    SubmissionWriter& m_writer;
    const MailReader::Report& m_report;
    int m_fd = -1;
    GObjectPtr<GMimeStream> m_stream;
};

} // namespace

void ImapReader::readAll(const ImapUrl& url, const Choice& choice, SqliteStore* store,
                         SubmissionWriter& writer, const MailReader::Report& report)
{
    InitGMime();
    ImapSession session(url, choice.login);
    const std::uint32_t uidValidity = session.examine();
    std::uint32_t from = 1;
    if (choice.onlyNew && store)
        if (const auto highest = store->highestUid(url.key(), uidValidity))
            from = *highest == 0xFFFFFFFFu ? *highest : *highest + 1;
    std::string criteria;
    if (from > 1)
        criteria = "UID " + std::to_string(from) + ":*";
    if (!choice.since.empty())
        criteria += (criteria.empty() ? "" : " ") + ("SINCE " + choice.since);
    if (!choice.search.empty())
        criteria += (criteria.empty() ? "(" : " (") + choice.search + ")";
    ImapSession::Uids uids = session.search(criteria.empty() ? "ALL" : criteria);
    // "N:*" holds the highest UID even where it is below N.
    uids.erase(std::remove_if(uids.begin(), uids.end(),
                              [from](const auto& run) { return run.second < from; }),
               uids.end());
    for (auto& run : uids)
        run.first = std::max(run.first, from);
    Spool spool(url, uidValidity, writer, report);
    auto run = uids.begin();
    std::uint32_t next = run != uids.end() ? run->first : 0;
    // The next kBatch UIDs as a sequence set, or nothing after the last.
    session.fetch(
        [&] {
            std::string set;
            for (std::size_t inSet = 0; run != uids.end() && inSet < kBatch;) {
                const std::uint64_t left = std::uint64_t(run->second) - next + 1;
                const auto take =
                    static_cast<std::uint32_t>(std::min<std::uint64_t>(left, kBatch - inSet));
                const std::uint32_t last = next + take - 1;
                set += (set.empty() ? "" : ",") + std::to_string(next) +
                       (last > next ? ":" + std::to_string(last) : "");
                inSet += take;
                if (take == left && ++run != uids.end())
                    next = run->first;
                else if (take != left)
                    next = last + 1;
            }
            return set;
        },
        spool);
    if (store && !uids.empty() && choice.since.empty() && choice.search.empty())
        store->markRead(url.key(), uidValidity, uids.back().second);
}
