#include "JsonLinesWriter.h"

#include "ByteScan.h"
#include "FormFields.h"
#include "Utf8Converter.h"

#include <algorithm>
#include <cstring>

namespace {

// The most that JSON writes for one byte: "\u00XX".
constexpr std::size_t kEscapedByte = 6;

// Writes `utf8` at `to` as the inside of a JSON string, where there is room
// for kEscapedByte bytes for each of its bytes; returns the end of what it
// wrote. nlohmann::json's serializer takes a call and a branch for each byte;
// this copies the runs between the bytes to escape a block at a time as it
// looks for them. `readable` bytes may be read from the start of `utf8` (see
// ByteScan::copy), as many as there is room for at `to`.
char* writeEscaped(char* to, std::string_view utf8, std::size_t readable)
{
    static const ByteScan escaped({'"', '\\'}, 0x20);
    static constexpr char kHex[] = "0123456789abcdef";
    for (;;) {
        // What the copy writes beyond the run is within the room for the
        // rest of the text, and written over next.
        const std::size_t at = escaped.copy(utf8, to, readable);
        to += at;
        if (at == utf8.size())
            return to;
        const unsigned char c = static_cast<unsigned char>(utf8[at]);
        *to++ = '\\';
        switch (c) {
        case '"':
        case '\\':
            *to++ = static_cast<char>(c);
            break;
        case '\b':
            *to++ = 'b';
            break;
        case '\t':
            *to++ = 't';
            break;
        case '\n':
            *to++ = 'n';
            break;
        case '\f':
            *to++ = 'f';
            break;
        case '\r':
            *to++ = 'r';
            break;
        default:
            std::memcpy(to, "u00", 3);
            to[3] = kHex[c >> 4];
            to[4] = kHex[c & 0xF];
            to += 5;
        }
        utf8.remove_prefix(at + 1);
        readable -= at + 1;
    }
}

char* writeEscaped(char* to, std::string_view utf8)
{
    return writeEscaped(to, utf8, utf8.size());
}

// What a field writes beside its escaped name and value.
constexpr std::string_view kHead = ",[\"", kMiddle = "\",\"", kTail = "\"]";
constexpr std::size_t kFieldFrame = kHead.size() + kMiddle.size() + kTail.size();

// Writes at `to` the field as the pair [name, value], after a comma unless it
// is `first`, where there is room for kFieldFrame bytes and kEscapedByte for
// each byte of the two; returns the end of what it wrote. The bytes up to
// `readable` may be read (see writeEscaped), where there is room for them.
char* writeField(char* to, std::string_view name, std::string_view value, bool first,
                 const char* readable)
{
    const auto escape = [&](std::string_view text) {
        if (!readable || text.empty())
            return writeEscaped(to, text);
        return writeEscaped(to, text, std::size_t(readable - text.data()));
    };
    const std::string_view head = first ? kHead.substr(1) : kHead;
    to = std::copy(head.begin(), head.end(), to);
    to = escape(name);
    to = std::copy(kMiddle.begin(), kMiddle.end(), to);
    to = escape(value);
    return std::copy(kTail.begin(), kTail.end(), to);
}

} // namespace

char* JsonLinesWriter::room(std::size_t bytes)
{
    if (m_used + bytes > m_out.size())
        m_out.resize(std::max(m_out.size() * 2, m_used + bytes));
    return m_out.data() + m_used;
}

void JsonLinesWriter::append(std::string_view text)
{
    std::memcpy(room(text.size()), text.data(), text.size());
    m_used += text.size();
}

void JsonLinesWriter::appendString(std::string_view utf8)
{
    // A long one goes out a piece at a time, so that its JSON is never held
    // whole beside it.
    append("\"");
    for (;;) {
        const std::string_view piece = utf8.substr(0, kPiece);
        char* to = room(piece.size() * kEscapedByte);
        m_used += static_cast<std::size_t>(writeEscaped(to, piece) - to);
        utf8.remove_prefix(piece.size());
        if (utf8.empty())
            break;
        send();
    }
    append("\"");
}

void JsonLinesWriter::appendOptional(const std::optional<std::string>& text)
{
    if (text)
        appendString(Utf8Converter::utf8OrWindows1252(*text));
    else
        append("null");
}

void JsonLinesWriter::appendField(std::string_view name, std::string_view value, bool first)
{
    if (name.size() + value.size() > kPiece) {
        append(first ? "[" : ",[");
        appendString(name);
        append(",");
        appendString(value);
        append("]");
        return;
    }
    // Most fields are short: written whole into room made once for them.
    char* const start = room((name.size() + value.size()) * kEscapedByte + kFieldFrame);
    m_used += static_cast<std::size_t>(writeField(start, name, value, first, nullptr) - start);
}

void JsonLinesWriter::appendFields(const FormFieldSplitter::FieldRun& run, bool first)
{
    if (run.bytes.size() > kPiece) {
        for (const FormFieldView& field : run.fields) {
            appendField(field.name, field.value, first);
            first = false;
        }
        return;
    }
    char* const start = room(run.bytes.size() * kEscapedByte + run.fields.size() * kFieldFrame);
    char* to = start;
    // Each name and value is read in blocks up to the end of the run, which
    // there is room for after it.
    const char* const readable = run.bytes.data() + run.bytes.size();
    for (const FormFieldView& field : run.fields) {
        to = writeField(to, field.name, field.value, first, readable);
        first = false;
    }
    m_used += static_cast<std::size_t>(to - start);
}

std::optional<std::string> JsonLinesWriter::write(const Submission& submission, FormBody& body)
{
    // The fields go out in pieces that the output takes without a copy,
    // not one call each.
    append("{\"source\":");
    appendOptional(submission.source);
    if (submission.mail) {
        append(",\"message_id\":");
        appendOptional(submission.messageId);
        append(",\"date\":");
        appendOptional(submission.date);
    }
    append(",\"fields\":[");
    bool first = true;
    try {
        const auto note = FormFields::read(
            body, m_decoding, true,
            [&](const FormFieldView& field) {
                appendField(field.name, field.value, first);
                first = false;
                if (m_used >= kPiece)
                    send();
            },
            [&](const FormFieldSplitter::FieldRun& run) {
                appendFields(run, first);
                first = false;
                if (m_used >= kPiece)
                    send();
            });
        append("]}\n");
        send();
        return note;
    } catch (...) {
        append("]}\n"); // the line stays valid JSON, with the fields read so far
        send();
        throw;
    }
}

void JsonLinesWriter::send()
{
    // Emptied even when the sink throws, so that nothing goes out twice.
    struct Clear
    {
        std::size_t& used;
        ~Clear() { used = 0; }
    } clear{m_used};
    m_sink(std::string_view(m_out.data(), m_used));
}
