#include "MailReader.h"

#include "files/FileError.h"
#include "files/FileReader.h"
#include "files/FileWriter.h"

#include <gmime/gmime.h>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::size_t kPiece = 64 * 1024;

template <typename T> struct GObjectUnref
{
    void operator()(T* object) const { g_object_unref(object); }
};
template <typename T> using GPtr = std::unique_ptr<T, GObjectUnref<T>>;

// A copy of a stream that cannot seek (a pipe on standard input) in an
// unnamed temporary file, so that GMime can leave the parts' contents where
// they are rather than hold them in memory. Returns the file's descriptor.
int spool(FileReader& in)
{
    const std::string where = FileWriter::scratchFolder();
    const int fd = FileWriter::openScratchFile();
    if (fd < 0)
        throw FileError::fromErrno("write", where, errno);
    std::string buffer(kPiece, '\0');
    while (const std::size_t got = in.read(buffer.data(), buffer.size())) {
        for (std::size_t done = 0; done < got;) {
            const ssize_t n = ::write(fd, buffer.data() + done, got - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                const int err = n < 0 ? errno : EIO;
                ::close(fd);
                throw FileError::fromErrno("write", where, err);
            }
            done += static_cast<std::size_t>(n);
        }
    }
    ::lseek(fd, 0, SEEK_SET);
    return fd;
}

// A descriptor for `in` that can seek, starting where `in` stands now.
int seekableDescriptor(FileReader& in)
{
    struct stat st
    {
    };
    if (::fstat(in.handle(), &st) == 0 && S_ISREG(st.st_mode)) {
        const int fd = ::fcntl(in.handle(), F_DUPFD_CLOEXEC, 0);
        if (fd < 0)
            throw FileError::fromErrno("read", in.name(), errno);
        return fd;
    }
    return spool(in);
}

bool startsAsMbox(int fd)
{
    char head[5];
    const off_t at = ::lseek(fd, 0, SEEK_CUR);
    return ::pread(fd, head, sizeof head, at) == ssize_t(sizeof head) &&
           std::memcmp(head, "From ", sizeof head) == 0;
}

bool isForm(GMimeObject* object)
{
    return GMIME_IS_PART(object) &&
           g_mime_content_type_is_type(g_mime_object_get_content_type(object), "application",
                                       "x-www-form-urlencoded");
}

// The part that holds the form body, or null.
GMimePart* formPart(GMimeMessage* message)
{
    GMimePart* found = nullptr;
    g_mime_message_foreach(
        message,
        [](GMimeObject*, GMimeObject* part, gpointer data) {
            auto* first = static_cast<GMimePart**>(data);
            if (!*first && isForm(part))
                *first = GMIME_PART(part);
        },
        &found);
    if (found)
        return found;
    GMimeObject* body = g_mime_message_get_mime_part(message);
    if (body && GMIME_IS_PART(body) &&
        g_mime_content_type_is_type(g_mime_object_get_content_type(body), "text", "plain"))
        return GMIME_PART(body);
    return nullptr;
}

// Feeds the part's content, its transfer encoding undone, up to its first
// NUL byte. Line breaks at its very end are left out: they end the mail's last
// line (or separate messages in an mbox), while a browser writes a line break
// of a form's value as "%0D%0A". Returns false when the content could not be
// read whole.
bool feedContent(GMimePart* part, SubmissionWriter& writer)
{
    GMimeDataWrapper* content = g_mime_part_get_content(part);
    if (!content)
        return true; // a part without content is empty
    GMimeStream* raw = g_mime_data_wrapper_get_stream(content);
    if (!raw || g_mime_stream_reset(raw) != 0)
        return false;
    GPtr<GMimeStream> decoded(g_mime_stream_filter_new(raw));
    switch (g_mime_data_wrapper_get_encoding(content)) {
    case GMIME_CONTENT_ENCODING_BASE64:
    case GMIME_CONTENT_ENCODING_QUOTEDPRINTABLE:
    case GMIME_CONTENT_ENCODING_UUENCODE: {
        GPtr<GMimeFilter> filter(
            g_mime_filter_basic_new(g_mime_data_wrapper_get_encoding(content), FALSE));
        g_mime_stream_filter_add(GMIME_STREAM_FILTER(decoded.get()), filter.get());
        break;
    }
    default:
        break; // 7bit, 8bit and binary are the bytes as they are
    }
    std::string buffer(kPiece, '\0');
    std::string breaks; // line breaks held back until more text follows them
    for (;;) {
        const ssize_t got = g_mime_stream_read(decoded.get(), buffer.data(), buffer.size());
        if (got <= 0)
            return got == 0 || g_mime_stream_eos(decoded.get());
        std::string_view piece(buffer.data(), static_cast<std::size_t>(got));
        const std::size_t nul = piece.find('\0');
        const bool last = nul != std::string_view::npos;
        piece = piece.substr(0, nul);
        const std::size_t text = piece.find_last_not_of("\r\n");
        if (text != std::string_view::npos) {
            writer.feed(breaks);
            breaks.clear();
            writer.feed(piece.substr(0, text + 1));
            piece.remove_prefix(text + 1);
        }
        breaks += piece;
        if (last)
            return true;
    }
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

} // namespace

bool MailReader::readAll(FileReader& in, SubmissionWriter& writer, const Report& report)
{
    static const bool initialised = (g_mime_init(), true);
    (void)initialised;

    const int fd = seekableDescriptor(in);
    GPtr<GMimeStream> stream(g_mime_stream_fs_new(fd)); // owns fd from here
    const bool mbox = startsAsMbox(fd);
    GPtr<GMimeParser> parser(g_mime_parser_new_with_stream(stream.get()));
    g_mime_parser_set_format(parser.get(), mbox ? GMIME_FORMAT_MBOX : GMIME_FORMAT_MESSAGE);

    bool ok = true;
    int number = 0;
    while (number == 0 || (mbox && !g_mime_parser_eos(parser.get()))) {
        ++number;
        GPtr<GMimeMessage> message(g_mime_parser_construct_message(parser.get(), nullptr));
        if (!message) {
            report(describe(in.name(), number, nullptr) + ": it cannot be read as a mail message");
            return false; // the parser cannot find the next message
        }
        GMimePart* part = formPart(message.get());
        if (!part) {
            report(describe(in.name(), number, message.get()) +
                   ": it has no application/x-www-form-urlencoded part and is not a single "
                   "text/plain message");
            ok = false;
            continue;
        }
        Submission submission;
        submission.source = mbox ? in.name() + "#" + std::to_string(number) : in.name();
        submission.mail = true;
        submission.messageId = text(g_mime_message_get_message_id(message.get()));
        submission.date = text(g_mime_object_get_header(GMIME_OBJECT(message.get()), "Date"));
        writer.begin(submission);
        const bool whole = feedContent(part, writer);
        writer.end();
        if (!whole) {
            report(describe(in.name(), number, message.get()) +
                   ": its form part could not be read to its end");
            ok = false;
        }
    }
    return ok;
}
