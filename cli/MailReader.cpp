#include "MailReader.h"

#include "GObjectPtr.h"
#include "MailForm.h"
#include "MailScanner.h"
#include "SeekableInput.h"

#include "files/FileError.h"
#include "files/FileReader.h"

#include <cstring>
#include <unistd.h>

namespace {

bool startsAsMbox(int fd, off_t at)
{
    char head[5];
    return ::pread(fd, head, sizeof head, at) == ssize_t(sizeof head) &&
           std::memcmp(head, "From ", sizeof head) == 0;
}

// The message's bytes in the file, less what the scanner left out.
GMimeStream* messageStream(GMimeStream* file, const MailScanner::Message& message)
{
    if (message.leftOut.empty())
        return g_mime_stream_substream(file, message.start, message.end);
    GMimeStream* cat = g_mime_stream_cat_new();
    off_t at = message.start;
    const auto add = [&](off_t to) {
        if (to > at) {
            GObjectPtr<GMimeStream> piece(g_mime_stream_substream(file, at, to));
            g_mime_stream_cat_add_source(GMIME_STREAM_CAT(cat), piece.get());
        }
    };
    for (const auto& [from, to] : message.leftOut) {
        add(from);
        at = to;
    }
    add(message.end);
    return cat;
}

std::string describe(const std::string& file, int number, GMimeMessage* message)
{
    const char* id = message ? g_mime_message_get_message_id(message) : nullptr;
    return file + ": message " + std::to_string(number) +
           (id ? " <" + std::string(id) + ">" : std::string(" (no Message-ID)"));
}

std::optional<std::string> text(const char* value)
{
    return value ? std::optional<std::string>(value) : std::nullopt;
}

std::optional<std::string> utcDate(GMimeMessage* message)
{
    GDateTime* date = g_mime_message_get_date(message);
    if (!date)
        return std::nullopt;
    GDateTime* utc = g_date_time_to_utc(date);
    gchar* written = utc ? g_date_time_format(utc, "%Y-%m-%d %H:%M:%S") : nullptr;
    std::optional<std::string> result = text(written);
    g_free(written);
    if (utc)
        g_date_time_unref(utc);
    return result;
}

} // namespace

void MailReader::readAll(FileReader& in, SubmissionWriter& writer, const Report& report)
{
    InitGMime();
    SeekableInput input(in);
    const off_t start = input.start();
    const bool mbox = startsAsMbox(input.fd(), start);
    MailScanner scanner(input.fd(), start, mbox);
    GObjectPtr<GMimeStream> file(g_mime_stream_fs_new(input.release())); // owns the descriptor
    MailScanner::Message found;
    for (int number = 1; scanner.next(found); ++number) {
        GObjectPtr<GMimeStream> stream(messageStream(file.get(), found));
        GObjectPtr<GMimeParser> parser(g_mime_parser_new_with_stream(stream.get()));
        g_mime_parser_set_format(parser.get(), GMIME_FORMAT_MESSAGE);
        GObjectPtr<GMimeMessage> message(g_mime_parser_construct_message(parser.get(), nullptr));
        const std::string name = describe(in.name(), number, message.get());
        if (!message) {
            report(name + ": it cannot be read as a mail message", Outcome::Failed);
            continue;
        }
        if (found.cuts)
            report(name + ": " + MailScanner::describe(found.cuts), Outcome::Note);
        try {
            const std::unique_ptr<FormBody> body = MailForm::find(message.get(), mbox);
            if (!body) {
                report(name + ": no form", Outcome::Skipped);
                continue;
            }
            Submission submission;
            submission.source = mbox ? in.name() + "#" + std::to_string(number) : in.name();
            submission.mail = true;
            submission.messageId = text(g_mime_message_get_message_id(message.get()));
            submission.date = text(g_mime_object_get_header(GMIME_OBJECT(message.get()), "Date"));
            submission.utcDate = utcDate(message.get());
            if (const auto note = writer.write(submission, *body))
                report(name + ": " + *note, Outcome::Note);
        } catch (const FileError& e) {
            report(name + ": its form cannot be read: " + e.reason(), Outcome::Failed);
        }
    }
}
