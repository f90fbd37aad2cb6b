#include "MailReader.h"

#include "GObjectPtr.h"
#include "MailForm.h"
#include "MailScanner.h"
#include "PartText.h"
#include "SeekableInput.h"

#include "files/FileError.h"
#include "files/FileReader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <unistd.h>
#include <utility>

namespace {

bool startsAsMbox(int fd, off_t at)
{
    char head[5];
    return ::pread(fd, head, sizeof head, at) == ssize_t(sizeof head) &&
           std::memcmp(head, "From ", sizeof head) == 0;
}

// A message up to this size is read into memory whole, in one read, rather
// than read by GMime through streams of the file's parts.
constexpr off_t kInMemory = 1024 * 1024;

// The message's bytes, less what the scanner left out, in memory: `held`,
// where the scanner still has them, else read from `fd`; nothing when they
// cannot all be read so.
GMimeStream* messageInMemory(int fd, const MailScanner::Message& message,
                             std::optional<std::string_view> held)
{
    const auto size = static_cast<std::size_t>(message.end - message.start);
    GByteArray* bytes = g_byte_array_sized_new(static_cast<guint>(size));
    g_byte_array_set_size(bytes, static_cast<guint>(size));
    // The kept ranges are copied from the scanner's bytes, or moved down
    // within those read.
    const auto* source = held ? reinterpret_cast<const guint8*>(held->data()) : bytes->data;
    for (std::size_t done = held ? size : 0; done < size;) {
        const ssize_t got =
            ::pread(fd, bytes->data + done, size - done, message.start + static_cast<off_t>(done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0) {
            g_byte_array_unref(bytes);
            return nullptr;
        }
        done += static_cast<std::size_t>(got);
    }
    std::size_t to = 0;
    off_t at = message.start;
    const auto keep = [&](off_t until) {
        const auto length = static_cast<std::size_t>(until - at);
        std::memmove(bytes->data + to, source + (at - message.start), length);
        to += length;
    };
    for (const auto& [from, until] : message.leftOut) {
        keep(from);
        at = until;
    }
    keep(message.end);
    g_byte_array_set_size(bytes, static_cast<guint>(to));
    return g_mime_stream_mem_new_with_byte_array(bytes); // owns the bytes
}

// The message's bytes in the file, less what the scanner left out.
GMimeStream* messageStream(GMimeStream* file, const MailScanner::Message& message,
                           std::optional<std::string_view> held)
{
    if (message.end - message.start <= kInMemory)
        if (GMimeStream* memory = messageInMemory(GMIME_STREAM_FS(file)->fd, message, held))
            return memory;
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

std::optional<std::string> text(const char* value)
{
    return value ? std::optional<std::string>(value) : std::nullopt;
}

// A parsed message: `headers` holds its Date and Message-ID, `root` is its
// MIME tree; both are null when it cannot be read.
struct ParsedMessage
{
    GObjectPtr<GMimeObject> top;      // the message parsed as its top MIME part
    GObjectPtr<GMimeMessage> message; // or as a message
    GMimeObject* headers = nullptr;
    GMimeObject* root = nullptr;
};

// Most messages are parsed as their top MIME part, which then holds all of
// the message's headers: GMime's message object would also parse every
// address and decode the subject, none of which a form needs. GMime's message
// parser passes over a "From " line before the headers, which its part parser
// takes as no header; such a message is parsed again as a message.
ParsedMessage parse(GMimeParser* parser, GMimeStream* stream)
{
    const auto start = [parser, stream] {
        g_mime_parser_init_with_stream(parser, stream); // drops the last message's stream
        g_mime_parser_set_format(parser, GMIME_FORMAT_MESSAGE);
    };
    ParsedMessage parsed;
    start();
    parsed.top.reset(g_mime_parser_construct_part(parser, nullptr));
    if (parsed.top) {
        parsed.headers = parsed.root = parsed.top.get();
        return parsed;
    }
    if (g_mime_stream_reset(stream) != 0)
        return parsed;
    start();
    parsed.message.reset(g_mime_parser_construct_message(parser, nullptr));
    if (parsed.message) {
        parsed.headers = GMIME_OBJECT(parsed.message.get());
        parsed.root = g_mime_message_get_mime_part(parsed.message.get());
    }
    return parsed;
}

// The value of the last header `name` of `object`, the one that GMime's
// message object keeps for Date and Message-ID; null when there is none.
const char* lastHeader(GMimeObject* object, const char* name)
{
    GMimeHeaderList* list = object ? g_mime_object_get_header_list(object) : nullptr;
    for (int i = list ? g_mime_header_list_get_count(list) : 0; i-- > 0;) {
        GMimeHeader* header = g_mime_header_list_get_header_at(list, i);
        if (g_ascii_strcasecmp(g_mime_header_get_name(header), name) == 0)
            return g_mime_header_get_value(header);
    }
    return nullptr;
}

// The value of a field as GMime gives it, from its text as the scanner took it.
std::optional<std::string> fieldValue(const std::optional<std::string>& taken)
{
    if (!taken)
        return std::nullopt;
    char* unfolded = g_mime_utils_header_unfold(taken->c_str());
    std::optional<std::string> found = text(unfolded);
    // GMime decodes encoded words and bytes beyond ASCII; ASCII without an
    // encoded word it leaves as it is.
    const bool ascii = std::all_of(found->begin(), found->end(),
                                   [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (!ascii || found->find("=?") != std::string::npos) {
        char* value = g_mime_utils_header_decode_text(nullptr, unfolded);
        found = text(value);
        g_free(value);
    }
    g_free(unfolded);
    return found;
}

// The values of the message's last Date and Message-ID fields: as the
// scanner took them, or where it left them to GMime, as GMime read them.
struct MessageFields
{
    std::optional<std::string> date, messageId;
};

// `message` is null for a message that GMime did not parse, whose fields the
// scanner took.
MessageFields messageFields(const MailScanner::Message& found, const ParsedMessage* message)
{
    if (message && !message->headers)
        return {};
    if (found.fieldsTaken)
        return {fieldValue(found.date), fieldValue(found.messageId)};
    return {text(lastHeader(message->headers, "Date")),
            text(lastHeader(message->headers, "Message-Id"))};
}

// The Message-ID in the field `value`. An empty one ("<>", or the field with
// nothing in it) names no message: taken as an ID, it would make a database
// keep only the first of all the forms that have it.
std::optional<std::string> messageId(const std::optional<std::string>& value)
{
    char* id = value ? g_mime_utils_decode_message_id(value->c_str()) : nullptr;
    std::optional<std::string> found = id && *id ? text(id) : std::nullopt;
    g_free(id);
    return found;
}

std::string describe(const std::string& name, const std::optional<std::string>& id)
{
    return name + (id ? " <" + *id + ">" : std::string(" (no Message-ID)"));
}

// The Date field `value` in UTC.
std::optional<std::string> utcDate(const std::optional<std::string>& value)
{
    GDateTime* date = value ? g_mime_utils_header_decode_date(value->c_str()) : nullptr;
    if (!date)
        return std::nullopt;
    GDateTime* utc = g_date_time_to_utc(date);
    g_date_time_unref(date);
    if (!utc)
        return std::nullopt;
    // As g_date_time_format's "%Y-%m-%d %H:%M:%S" writes it (the year is not
    // padded), without its parsing the format and building a GString for
    // each message, or snprintf's parsing it.
    int year = 0, month = 0, day = 0;
    g_date_time_get_ymd(utc, &year, &month, &day);
    std::string written = std::to_string(year);
    for (const auto& [separator, part] : {std::pair{'-', month},
                                          {'-', day},
                                          {' ', g_date_time_get_hour(utc)},
                                          {':', g_date_time_get_minute(utc)},
                                          {':', g_date_time_get_second(utc)}})
        written.append({separator, char('0' + part / 10), char('0' + part % 10)});
    g_date_time_unref(utc);
    return written;
}

// Parses the message that the scanner found in `file` and gives its form,
// with what `submission` says of its source, to the writer. `name` names the
// message in reports.
void readMessage(GMimeParser* parser, GMimeStream* file, const MailScanner& scanner,
                 const MailScanner::Message& found, MailForm& forms, bool mbox,
                 const std::string& name, Submission submission, SubmissionWriter& writer,
                 const MailReader::Report& report)
{
    using Outcome = MailReader::Outcome;
    const std::optional<std::string_view> held = scanner.held(found);
    // A message whose parts the scanner found, held whole, is read where it
    // lies; GMime parses the others.
    const bool unparsed = !found.parts.empty() && found.fieldsTaken && held;
    GObjectPtr<GMimeStream> stream;
    ParsedMessage message;
    if (!unparsed) {
        stream.reset(messageStream(file, found, held));
        message = parse(parser, stream.get());
    }
    MessageFields fields = messageFields(found, unparsed ? nullptr : &message);
    std::optional<std::string> id = messageId(fields.messageId);
    const std::string named = describe(name, id);
    if (!unparsed && !message.headers) {
        report(named + ": it cannot be read as a mail message", Outcome::Failed);
        return;
    }
    if (found.cuts)
        report(named + ": " + MailScanner::describe(found.cuts), Outcome::Note);
    try {
        std::unique_ptr<FormBody> body;
        if (unparsed) {
            // The values, kept while the parts point into them.
            std::vector<std::optional<std::string>> values;
            values.reserve(found.parts.size() * 3);
            std::vector<MailForm::RawPart> parts;
            const auto value = [&values](const std::optional<std::string>& field) {
                values.push_back(fieldValue(field));
                return values.back() ? values.back()->c_str() : nullptr;
            };
            for (const auto& part : found.parts)
                parts.push_back({value(part.type), value(part.disposition), value(part.encoding),
                                 held->substr(std::size_t(part.content - found.start),
                                              std::size_t(part.end - part.content))});
            body = forms.findInParts(parts, mbox);
        } else {
            body = MailForm::find(message.root, mbox);
        }
        if (!body) {
            // A form may have been in what was left out. It stays a message
            // skipped, not one failed, which would keep a database from
            // taking the rest of every run while the message is in the
            // mailbox.
            report(named + (found.cuts ? ": no form in what could be read of it" : ": no form"),
                   Outcome::Skipped);
            return;
        }
        submission.mail = true;
        submission.messageId = std::move(id);
        submission.utcDate = utcDate(fields.date);
        submission.date = std::move(fields.date);
        if (const auto note = writer.write(submission, *body))
            report(named + ": " + *note, Outcome::Note);
    } catch (const FileError& e) {
        // The mail could not be read, or what its form was written to, as a
        // database, could not be written.
        report(named +
                   (e.path() == PartText::kFile
                        ? ": its form cannot be read: "
                        : ": its form cannot be kept in " + e.path() + ": ") +
                   e.reason(),
               Outcome::Failed);
    }
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
    // One parser for all, set to each message in turn.
    GObjectPtr<GMimeParser> parser(g_mime_parser_new());
    MailForm forms;
    MailScanner::Message found;
    for (int number = 1; scanner.next(found); ++number) {
        Submission submission;
        submission.source = mbox ? in.name() + "#" + std::to_string(number) : in.name();
        readMessage(parser.get(), file.get(), scanner, found, forms, mbox,
                    in.name() + ": message " + std::to_string(number), std::move(submission),
                    writer, report);
    }
}

void MailReader::readOne(int fd, const std::string& name, Submission submission,
                         SubmissionWriter& writer, const Report& report)
{
    InitGMime();
    ::lseek(fd, 0, SEEK_SET); // where GMime's stream starts
    GObjectPtr<GMimeStream> file(g_mime_stream_fs_new(fd));
    MailScanner scanner(fd, 0, false);
    MailScanner::Message found;
    GObjectPtr<GMimeParser> parser(g_mime_parser_new());
    MailForm forms;
    if (scanner.next(found))
        readMessage(parser.get(), file.get(), scanner, found, forms, false, name,
                    std::move(submission), writer, report);
}
