#include "PartText.h"

#include "FlowedText.h"
#include "files/FileError.h"

#include <algorithm>
#include <cerrno>

namespace {

// Small enough to sit on the stack: a form's part is a few kilobytes, and
// memory taken from the heap for each would cost more than reading it.
constexpr std::size_t kPiece = 16 * 1024;
constexpr std::size_t kMaxKept = 1024 * 1024;

// Gives back the "From " of lines that an mbox quoted (">From ", ">>From "...)
// by taking one ">" from each, as the mail was before it was stored.
class MboxUnquote
{
public:
    template <typename Out> void feed(std::string_view piece, Out&& out)
    {
        static constexpr std::string_view kFrom = "From ";
        while (!piece.empty()) {
            if (!m_lineStart) {
                const std::size_t end = std::min(piece.find('\n'), piece.size() - 1) + 1;
                out(piece.substr(0, end));
                m_lineStart = piece[end - 1] == '\n';
                piece.remove_prefix(end);
                continue;
            }
            const char c = piece.front();
            if (m_matched == 0 && c == '>') {
                ++m_marks;
                piece.remove_prefix(1);
                continue;
            }
            if (m_marks > 0 && m_matched < kFrom.size() && c == kFrom[m_matched]) {
                piece.remove_prefix(1);
                if (++m_matched == kFrom.size())
                    release(out, m_marks - 1);
                continue;
            }
            release(out, m_marks);
        }
    }

    template <typename Out> void finish(Out&& out) { release(out, m_marks); }

private:
    template <typename Out> void release(Out&& out, std::size_t marks)
    {
        for (; marks > 0; --marks)
            out(std::string_view(">"));
        out(std::string_view("From ").substr(0, m_matched));
        m_marks = m_matched = 0;
        m_lineStart = false;
    }

    bool m_lineStart = true;
    std::size_t m_marks = 0;
    std::size_t m_matched = 0;
};

// What a base64 text lacks at its end when it ends without the "=" or "=="
// that pad its last group: GMime's decoder holds the last two or three
// characters of such a text back, waiting for the rest of their group, and
// the one or two bytes that they hold would be lost.
class Base64Padding
{
public:
    void feed(std::string_view text)
    {
        // Counted in locals, which the compiler turns into vector compares.
        std::size_t characters = 0;
        unsigned padded = 0;
        for (const char c : text) {
            const auto u = static_cast<unsigned char>(c);
            padded |= u == '=';
            characters += (unsigned char)((u | 0x20) - 'a') < 26 || (unsigned char)(u - '0') < 10 ||
                          u == '+' || u == '/';
        }
        m_characters += characters;
        m_padded = m_padded || padded;
    }
    std::string_view missing() const
    {
        if (m_padded)
            return {};
        return m_characters % 4 == 2 ? "==" : m_characters % 4 == 3 ? "=" : "";
    }

private:
    std::size_t m_characters = 0;
    bool m_padded = false;
};

[[noreturn]] void readFailed(int err)
{
    throw FileError::fromErrno("read", PartText::kFile, err ? err : EIO);
}

} // namespace

PartText::PartText(GMimePart* part, bool mboxQuoted)
    : PartText({}, g_mime_object_get_content_type(GMIME_OBJECT(part)),
               GMIME_CONTENT_ENCODING_DEFAULT, mboxQuoted)
{
    m_part.reset(GMIME_PART(g_object_ref(part)));
}

PartText::PartText(std::string_view content, GMimeContentType* type, GMimeContentEncoding encoding,
                   bool mboxQuoted)
    : m_type(GMIME_CONTENT_TYPE(g_object_ref(type))), m_content(content), m_encoding(encoding),
      m_mboxQuoted(mboxQuoted)
{
    const char* format = g_mime_content_type_get_parameter(type, "format");
    const char* delSp = g_mime_content_type_get_parameter(type, "delsp");
    m_flowed = g_mime_content_type_is_type(type, "text", "plain") && format &&
               g_ascii_strcasecmp(format, "flowed") == 0;
    m_delSp = delSp && g_ascii_strcasecmp(delSp, "yes") == 0;
}

std::string PartText::charset() const
{
    const char* charset = g_mime_content_type_get_parameter(m_type.get(), "charset");
    return charset ? charset : "";
}

void PartText::read(const Piece& piece)
{
    if (m_whole) {
        piece(m_kept);
        return;
    }
    bool keep = true, stopped = false;
    m_kept.clear();
    const auto deliver = [&](std::string_view text) {
        if (stopped || text.empty())
            return;
        keep = keep && m_kept.size() + text.size() <= kMaxKept;
        if (keep)
            m_kept.append(text);
        stopped = !piece(text);
    };
    FlowedText flowed(m_delSp, deliver);
    bool ended = false; // at the first NUL
    const auto decoded = [&](const char* data, std::size_t size) {
        std::string_view text(data, size);
        const std::size_t nul = text.find('\0');
        if (ended)
            return;
        ended = nul != std::string_view::npos;
        text = text.substr(0, nul);
        if (m_flowed)
            flowed.feed(text);
        else
            deliver(text);
    };

    // The content is in memory, or in the part's stream; a part may have none.
    GMimeStream* raw = nullptr;
    GMimeContentEncoding encoding = m_encoding;
    if (m_part) {
        GMimeDataWrapper* content = g_mime_part_get_content(m_part.get());
        raw = content ? g_mime_data_wrapper_get_stream(content) : nullptr;
        if (raw && g_mime_stream_reset(raw) != 0)
            readFailed(errno);
        if (raw)
            encoding = g_mime_data_wrapper_get_encoding(content);
    }
    if (raw || !m_part) {
        // Base64 and quoted-printable are undone by GMime's decoder state on
        // the stack; uuencoded text by its filter, which also finds the
        // "begin" line.
        const bool stepped = encoding == GMIME_CONTENT_ENCODING_BASE64 ||
                             encoding == GMIME_CONTENT_ENCODING_QUOTEDPRINTABLE;
        GMimeEncoding state;
        if (stepped)
            g_mime_encoding_init_decode(&state, encoding);
        GObjectPtr<GMimeFilter> filter;
        if (encoding == GMIME_CONTENT_ENCODING_UUENCODE)
            filter.reset(g_mime_filter_basic_new(encoding, FALSE));
        char stepOut[kPiece + 256];
        std::string largeOut, padded;
        Base64Padding padding;
        // Raw bytes go through the decoder; it gives back the decoded ones.
        const auto undo = [&](std::string_view bytes, bool last) {
            if (stepped) {
                if (encoding == GMIME_CONTENT_ENCODING_BASE64) {
                    padding.feed(bytes);
                    if (last && !padding.missing().empty()) {
                        padded.assign(bytes).append(padding.missing());
                        bytes = padded;
                    }
                }
                const std::size_t room = g_mime_encoding_outlen(&state, bytes.size());
                char* out = stepOut;
                if (room > sizeof stepOut) {
                    largeOut.resize(room);
                    out = largeOut.data();
                }
                const std::size_t length =
                    last ? g_mime_encoding_flush(&state, bytes.data(), bytes.size(), out)
                         : g_mime_encoding_step(&state, bytes.data(), bytes.size(), out);
                decoded(out, length);
                return;
            }
            if (!filter) {
                decoded(bytes.data(), bytes.size());
                return;
            }
            char* out = nullptr;
            size_t outLength = 0, outPrespace = 0;
            char* in = const_cast<char*>(bytes.data());
            if (last)
                g_mime_filter_complete(filter.get(), in, bytes.size(), 0, &out, &outLength,
                                       &outPrespace);
            else
                g_mime_filter_filter(filter.get(), in, bytes.size(), 0, &out, &outLength,
                                     &outPrespace);
            decoded(out, outLength);
        };
        // Base64 and uuencoded lines never begin with ">".
        const bool unquoting = m_mboxQuoted && encoding != GMIME_CONTENT_ENCODING_BASE64 &&
                               encoding != GMIME_CONTENT_ENCODING_UUENCODE;
        MboxUnquote unquote;
        std::string unquoted;
        const auto collect = [&unquoted](std::string_view bytes) { unquoted.append(bytes); };
        const auto feed = [&](std::string_view bytes) {
            if (!unquoting) {
                undo(bytes, false);
                return;
            }
            unquoted.clear();
            unquote.feed(bytes, collect);
            undo(unquoted, false);
        };
        char buffer[kPiece];
        while (raw && !stopped && !ended) {
            const ssize_t got = g_mime_stream_read(raw, buffer, kPiece);
            if (got < 0 && !g_mime_stream_eos(raw))
                readFailed(errno);
            if (got <= 0)
                break;
            feed(std::string_view(buffer, static_cast<std::size_t>(got)));
        }
        for (std::size_t at = 0; !raw && at < m_content.size() && !stopped && !ended; at += kPiece)
            feed(m_content.substr(at, kPiece));
        unquoted.clear();
        if (unquoting)
            unquote.finish(collect);
        undo(unquoted, true);
    }
    if (m_flowed)
        flowed.finish();
    m_whole = keep && !stopped;
    if (!m_whole)
        m_kept.clear();
}
