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
// looks for them.
char* writeEscaped(char* to, std::string_view utf8)
{
    static const ByteScan escaped({'"', '\\'}, 0x20);
    static constexpr char kHex[] = "0123456789abcdef";
    for (;;) {
        // What the copy writes beyond the run is within the room for the
        // rest of the text, and written over next.
        const std::size_t at = escaped.copy(utf8, to);
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
    }
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
    constexpr std::string_view kHead = ",[\"", kMiddle = "\",\"", kTail = "\"]";
    char* const start = room((name.size() + value.size()) * kEscapedByte + kHead.size() +
                             kMiddle.size() + kTail.size());
    char* to = start;
    const std::string_view head = first ? kHead.substr(1) : kHead;
    to = std::copy(head.begin(), head.end(), to);
    to = writeEscaped(to, name);
    to = std::copy(kMiddle.begin(), kMiddle.end(), to);
    to = writeEscaped(to, value);
    to = std::copy(kTail.begin(), kTail.end(), to);
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
        const auto note = FormFields::read(body, m_decoding, true, [&](const FormFieldView& field) {
            appendField(field.name, field.value, first);
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
