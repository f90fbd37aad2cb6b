#include "MailScanner.h"

#include "GObjectPtr.h"
#include "files/FileError.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace {

// Whether the field names `name` and `other` are the same, in either case of
// ASCII letters, as GMime compares them.
bool sameName(std::string_view name, std::string_view other)
{
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
    return name.size() == other.size() &&
           std::equal(name.begin(), name.end(), other.begin(),
                      [&](char a, char b) { return lower(a) == lower(b); });
}

constexpr std::size_t kBuffer = 256 * 1024;
constexpr std::size_t kHeaderLine = 64 * 1024;
constexpr std::size_t kHeaderBlock = 256 * 1024;
constexpr std::size_t kMessageHeaders = 1024 * 1024;
constexpr std::size_t kFaces = 64 * 1024;
constexpr unsigned kParts = 1000;

bool startsWith(std::string_view text, std::string_view start)
{
    return text.substr(0, start.size()) == start;
}

bool isLwsp(char c)
{
    return c == ' ' || c == '\t';
}

} // namespace

MailScanner::MailScanner(int fd, off_t start, bool mbox)
    : m_fd(fd), m_mbox(mbox), m_buffer(kBuffer), m_bufferAt(start), m_nextStart(start)
{}

std::string MailScanner::describe(unsigned cuts)
{
    std::string what;
    const auto add = [&](Cut cut, const char* words) {
        if (cuts & cut)
            what += (what.empty() ? "" : ", ") + std::string(words);
    };
    add(HeaderLine, "header lines beyond 64 KiB");
    add(HeaderBlock, "header lines beyond 256 KiB of a block or 1 MiB of a message");
    add(Face, "text around its parts beyond 64 KiB");
    add(Parts, "everything after its 1,000th part");
    return "too large to read whole; left out: " + what;
}

bool MailScanner::readLine(Line& line)
{
    line.at = m_bufferAt + static_cast<off_t>(m_begin);
    line.length = 0;
    line.eol = 0;
    bool longLine = false;
    bool crBefore = false; // a long line's last chunk ended in a CR
    for (;;) {
        const std::string_view rest(m_buffer.data() + m_begin, m_end - m_begin);
        const std::size_t newline = rest.find('\n');
        if (newline != std::string_view::npos || (m_eof && (!rest.empty() || longLine))) {
            const std::size_t size = newline != std::string_view::npos ? newline + 1 : rest.size();
            const std::string_view text = rest.substr(0, size);
            line.length += static_cast<off_t>(text.size());
            m_begin += text.size();
            if (newline != std::string_view::npos)
                line.eol = (size >= 2 ? text[size - 2] == '\r' : crBefore) ? 2 : 1;
            // A long line's head holds its first bytes, well before its break.
            line.head = longLine ? std::string_view(m_longHead) : text.substr(0, size - line.eol);
            return true;
        }
        if (m_eof)
            return false;
        // What lies before the line goes, but for the message being held.
        std::size_t drop = m_begin;
        if (m_holdFrom >= m_bufferAt)
            drop = std::min<std::size_t>(drop, static_cast<std::size_t>(m_holdFrom - m_bufferAt));
        if (drop == 0 && m_end == m_buffer.size()) {
            m_holdFrom = -1; // too large to hold
            drop = m_begin;
            if (drop == 0) {
                // A line larger than the buffer: keep its head, pass over the rest.
                if (!longLine)
                    m_longHead.assign(rest.substr(0, kHeaderLine + 2));
                longLine = true;
                crBefore = rest.back() == '\r';
                line.length += static_cast<off_t>(rest.size());
                m_begin = drop = m_end;
            }
        }
        std::memmove(m_buffer.data(), m_buffer.data() + drop, m_end - drop);
        m_bufferAt += static_cast<off_t>(drop);
        m_end -= drop;
        m_begin -= drop;
        const ssize_t got = ::pread(m_fd, m_buffer.data() + m_end, m_buffer.size() - m_end,
                                    m_bufferAt + static_cast<off_t>(m_end));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            throw FileError::fromErrno("read", "the mail file", errno);
        m_eof = got == 0;
        m_end += static_cast<std::size_t>(got);
    }
}

std::optional<std::string_view> MailScanner::held(const Message& message) const
{
    const off_t end = m_bufferAt + static_cast<off_t>(m_end);
    if (m_holdFrom < 0 || message.start < m_bufferAt || message.end > end)
        return std::nullopt;
    return std::string_view(m_buffer.data() + (message.start - m_bufferAt),
                            static_cast<std::size_t>(message.end - message.start));
}

bool MailScanner::next(Message& message)
{
    message = Message();
    if (m_done)
        return false;
    Line line;
    if (m_mbox && !m_started) {
        // The file starts with its first "From " line.
        if (!readLine(line))
            return false;
        m_nextStart = line.at + line.length;
    }
    m_started = true;
    message.start = m_holdFrom = m_nextStart;
    m_message = &message;
    m_levels.clear();
    m_levelsOf.clear();
    m_overflow = false;
    m_parts = 1;
    m_headerBytes = m_faceBytes = 0;
    m_partsReadable = false;
    startBlock(true);
    off_t overflowAt = 0;
    for (;;) {
        if (!readLine(line)) {
            m_done = true;
            message.end = m_bufferAt + static_cast<off_t>(m_end);
            break;
        }
        if (m_mbox && startsWith(line.head, "From ")) {
            message.end = line.at;
            m_nextStart = line.at + line.length;
            break;
        }
        if (m_overflow)
            continue;
        process(line);
        if (m_overflow)
            overflowAt = line.at;
    }
    if (m_overflow)
        leaveOut(overflowAt, message.end, Parts);
    // A part still open runs to the end, as GMime reads it to the end of
    // what it is given.
    if (m_partsReadable && m_state == State::Body)
        message.parts.back().end = message.end;
    if (!m_partsReadable || m_state == State::Headers || message.cuts)
        message.parts.clear();
    m_message = nullptr;
    return true;
}

void MailScanner::leaveOut(off_t from, off_t to, Cut cut)
{
    if (from >= to)
        return;
    auto& ranges = m_message->leftOut;
    if (!ranges.empty() && ranges.back().second == from)
        ranges.back().second = to; // one range for lines left out one after another
    else
        ranges.emplace_back(from, to);
    m_message->cuts |= cut;
}

void MailScanner::startBlock(bool message)
{
    m_state = State::Headers;
    m_topBlock = message;
    m_blockBytes = 0;
    m_blockHasFields = m_hasMessageFields = m_hasContentType = m_inContentType = false;
    m_hasEncoding = m_inEncoding = false;
    m_encoding.clear();
    m_unreadField = false;
    m_taken = nullptr;
    m_date.reset();
    m_messageId.reset();
    m_part = {};
    m_headerLike = true;
    m_contentType.clear();
    m_unread.clear();
}

void MailScanner::leaveOutUnread()
{
    if (!m_topBlock || !m_headerLike || m_unread.empty())
        return;
    m_message->fieldsTaken = true;
    m_message->date = std::move(m_date);
    m_message->messageId = std::move(m_messageId);
    // Among what the block's lines already left out, in order, one range
    // for ranges that touch.
    auto& ranges = m_message->leftOut;
    ranges.insert(ranges.end(), m_unread.begin(), m_unread.end());
    std::sort(ranges.begin(), ranges.end());
    std::size_t kept = 0;
    for (const auto& range : ranges) {
        if (kept > 0 && range.first <= ranges[kept - 1].second)
            ranges[kept - 1].second = std::max(ranges[kept - 1].second, range.second);
        else
            ranges[kept++] = range;
    }
    ranges.resize(kept);
    m_unread.clear();
}

void MailScanner::process(const Line& line)
{
    if (m_state == State::Headers) {
        headerLine(line);
        return;
    }
    if (boundary(line))
        return;
    if (m_state == State::Face) {
        // Once the budget is spent whole lines go, so that they make one range.
        const std::size_t room = kFaces - std::min(kFaces, m_faceBytes);
        const auto text = static_cast<std::size_t>(line.length) - line.eol;
        if (room == 0)
            leaveOut(line.at, line.at + line.length, Face);
        else if (text > room)
            leaveOut(line.at + static_cast<off_t>(room), line.at + static_cast<off_t>(text), Face);
        m_faceBytes += std::min(text, room);
    }
}

void MailScanner::headerLine(const Line& line)
{
    const std::string_view head = line.head;
    if (head.empty()) {
        const bool top = m_topBlock, headerLike = m_headerLike;
        leaveOutUnread();
        const Block block = endBlock();
        // The message's own block may start a multipart; each block after
        // it must be that of a part of it.
        if (top)
            m_partsReadable = headerLike && block != Block::Other;
        else
            m_partsReadable =
                m_partsReadable && headerLike && block == Block::Leaf && m_levels.size() == 1;
        if (m_partsReadable && block == Block::Leaf) {
            m_part.content = line.at + line.length;
            m_message->parts.push_back(std::move(m_part));
        }
        return;
    }
    const bool continuation = isLwsp(head.front());
    if (!continuation) {
        m_inContentType = m_inEncoding = false;
        const std::size_t colon = head.find(':');
        const std::string_view name = head.substr(0, colon);
        const bool valid = colon != std::string_view::npos && colon > 0 &&
                           std::none_of(name.begin(), name.end(), [](char c) {
                               return static_cast<unsigned char>(c) <= ' ' || c == 0x7F;
                           });
        // As GMime does, a line that is no header after the block's headers
        // starts the content of a mailer that left out the blank line.
        if (!valid && m_blockHasFields && (m_topBlock ? m_hasMessageFields : m_hasContentType)) {
            m_partsReadable = false;
            endBlock();
            process(line);
            return;
        }
        m_unreadField = false;
        m_taken = nullptr;
        m_headerLike = m_headerLike && valid;
        if (valid) {
            m_blockHasFields = true;
            const auto is = [name](std::string_view other) { return sameName(name, other); };
            for (const char* messageField : {"Subject", "From", "Date", "To", "Cc"})
                m_hasMessageFields = m_hasMessageFields || is(messageField);
            // GMime reads the Content- fields; the tool takes Date and Message-ID.
            m_unreadField = m_topBlock && !sameName(name.substr(0, 8), "Content-");
            if (m_topBlock && is("Date"))
                m_taken = &m_date;
            else if (m_topBlock && is("Message-ID"))
                m_taken = &m_messageId;
            else if (is("Content-Type"))
                m_taken = &m_part.type;
            else if (is("Content-Disposition"))
                m_taken = &m_part.disposition;
            else if (is("Content-Transfer-Encoding"))
                m_taken = &m_part.encoding;
            if (is("Content-Type")) {
                m_hasContentType = m_inContentType = true;
                m_contentType.clear();
            }
            if (is("Content-Transfer-Encoding") && !m_hasEncoding)
                m_hasEncoding = m_inEncoding = true;
        }
    }
    const auto length = static_cast<std::size_t>(line.length);
    if (m_blockBytes >= kHeaderBlock || m_headerBytes + m_blockBytes >= kMessageHeaders) {
        leaveOut(line.at, line.at + line.length, HeaderBlock);
        m_inContentType = m_inEncoding = false;
        return;
    }
    // The budgets count an unread field too, so that what is cut does not
    // depend on which fields are read.
    const bool longLine = length - line.eol > kHeaderLine;
    m_blockBytes += longLine ? kHeaderLine + line.eol : length;
    if (m_unreadField && !m_unread.empty() && m_unread.back().second == line.at)
        m_unread.back().second = line.at + line.length;
    else if (m_unreadField)
        m_unread.emplace_back(line.at, line.at + line.length);
    if (longLine)
        leaveOut(line.at + static_cast<off_t>(kHeaderLine),
                 line.at + line.length - static_cast<off_t>(line.eol), HeaderLine);
    // What GMime would have read of the field; the last of its name counts.
    if (m_taken && continuation)
        (*m_taken)->append(head.substr(0, kHeaderLine));
    else if (m_taken)
        *m_taken = std::string(head.substr(0, kHeaderLine).substr(head.find(':') + 1));
    if (m_inContentType)
        m_contentType.append(head.substr(0, kHeaderLine)).append(" ");
    if (m_inEncoding)
        m_encoding.append(head.substr(0, kHeaderLine)).append(" ");
}

MailScanner::Block MailScanner::endBlock()
{
    m_headerBytes += m_blockBytes;
    // The value after "Content-Type:", as GMime will parse it.
    std::string type = "text", subtype = "plain", boundary;
    const bool inDigest = !m_levels.empty() && m_levels.back().digest && !m_topBlock;
    if (inDigest)
        type = "message", subtype = "rfc822";
    const std::size_t colon = m_contentType.find(':');
    // A type that GMime could read as a multipart or a message names one.
    // Most name neither, and outside a digest, where GMime takes a type it
    // cannot read for text/plain, such a part is a leaf without parsing it.
    const auto names = [this](std::string_view word) {
        return std::search(m_contentType.begin(), m_contentType.end(), word.begin(), word.end(),
                           [](char a, char b) { return g_ascii_tolower(a) == b; }) !=
               m_contentType.end();
    };
    if (m_hasContentType && colon != std::string::npos &&
        (inDigest || names("multipart") || names("message"))) {
        GObjectPtr<GMimeContentType> parsed(
            g_mime_content_type_parse(nullptr, m_contentType.c_str() + colon + 1));
        if (parsed) {
            type = g_mime_content_type_get_media_type(parsed.get());
            subtype = g_mime_content_type_get_media_subtype(parsed.get());
            const char* b = g_mime_content_type_get_parameter(parsed.get(), "boundary");
            boundary = b ? b : "";
        }
    }
    const auto is = [&](const char* t) { return g_ascii_strcasecmp(type.c_str(), t) == 0; };
    if (is("multipart")) {
        // Without a boundary GMime takes the whole content as the preface.
        m_state = State::Face;
        if (boundary.empty())
            return Block::Other;
        const bool digest = g_ascii_strcasecmp(subtype.c_str(), "digest") == 0;
        m_levelsOf["--" + boundary].push_back(m_levels.size());
        m_levels.push_back({"--" + boundary, digest});
        return digest ? Block::Other : Block::Multipart;
    }
    if (is("message") && !encoded() &&
        (g_ascii_strcasecmp(subtype.c_str(), "rfc822") == 0 ||
         g_ascii_strcasecmp(subtype.c_str(), "rfc2822") == 0 ||
         g_ascii_strcasecmp(subtype.c_str(), "news") == 0 ||
         g_ascii_strcasecmp(subtype.c_str(), "global") == 0)) {
        // The subtypes that GMime parses as a message of their own, unless
        // the part is encoded: then its content is bytes like any other.
        if (++m_parts > kParts)
            m_overflow = true;
        else
            startBlock(false); // the embedded message's own headers
        return Block::Other;
    }
    m_state = State::Body;
    return is("message") ? Block::Other : Block::Leaf;
}

void MailScanner::endPart(const Line& line)
{
    // Before the first part, the boundary ends the preface.
    if (!m_partsReadable || m_state != State::Body)
        return;
    Message::Part& part = m_message->parts.back();
    const off_t length = line.at - part.content;
    const off_t lineBreak = line.eol == 2 ? 2 : 1;
    // A boundary at the very end, or after less than that line break, is
    // left to GMime.
    if (line.eol == 0 || (length > 0 && length < lineBreak))
        m_partsReadable = false;
    else
        part.end = length > 0 ? line.at - lineBreak : line.at;
}

bool MailScanner::encoded() const
{
    if (!m_hasEncoding)
        return false;
    const std::size_t colon = m_encoding.find(':');
    switch (g_mime_content_encoding_from_string(m_encoding.c_str() + colon + 1)) {
    case GMIME_CONTENT_ENCODING_BASE64:
    case GMIME_CONTENT_ENCODING_QUOTEDPRINTABLE:
    case GMIME_CONTENT_ENCODING_UUENCODE:
        return true;
    default:
        return false;
    }
}

void MailScanner::popTo(std::size_t levels)
{
    while (m_levels.size() > levels) {
        auto& same = m_levelsOf[m_levels.back().boundary];
        same.pop_back();
        if (same.empty())
            m_levelsOf.erase(m_levels.back().boundary);
        m_levels.pop_back();
    }
}

// A boundary line of an open multipart: the next part's headers follow, or
// after the last boundary, the multipart's epilogue.
bool MailScanner::boundary(const Line& line)
{
    std::string_view text = line.head;
    if (m_levels.empty() || !startsWith(text, "--"))
        return false;
    // GMime takes a CR for white space after a boundary where this scanner
    // does not; a part of such a message is left to it.
    if (text.find('\r') != std::string_view::npos)
        m_partsReadable = false;
    while (!text.empty() && isLwsp(text.back()))
        text.remove_suffix(1);
    if (text.size() >= 4 && text.substr(text.size() - 2) == "--") {
        const auto last = m_levelsOf.find(std::string(text.substr(0, text.size() - 2)));
        if (last != m_levelsOf.end()) {
            endPart(line);
            popTo(last->second.back());
            m_state = State::Face;
            return true;
        }
    }
    const auto part = m_levelsOf.find(std::string(text));
    if (part == m_levelsOf.end())
        return false;
    endPart(line);
    popTo(part->second.back() + 1);
    if (++m_parts > kParts)
        m_overflow = true;
    else
        startBlock(false);
    return true;
}
