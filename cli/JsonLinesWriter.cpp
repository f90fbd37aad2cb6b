#include "JsonLinesWriter.h"

#include "ByteScan.h"
#include "FormFields.h"
#include "Utf8Converter.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

// The most that JSON writes for one byte: "\u00XX".
constexpr std::size_t kEscapedByte = 6;

// The bytes that JSON escapes: the quote, the backslash and the controls.
const ByteScan& escapedBytes()
{
    static const ByteScan escaped({'"', '\\'}, 0x20);
    return escaped;
}

// Writes at `to` the escape of the byte `c`, one of escapedBytes(); returns
// the end of what it wrote.
char* writeEscape(char* to, unsigned char c)
{
    static constexpr char kHex[] = "0123456789abcdef";
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
    return to;
}

// Writes `utf8` at `to` as the inside of a JSON string, where there is room
// for kEscapedByte bytes for each of its bytes; returns the end of what it
// wrote. nlohmann::json's serializer takes a call and a branch for each byte;
// this copies the runs between the bytes to escape a block at a time as it
// looks for them.
char* writeEscaped(char* to, std::string_view utf8)
{
    for (;;) {
        // What the copy writes beyond the run is within the room for the
        // rest of the text, and written over next.
        const std::size_t at = escapedBytes().copy(utf8, to);
        to += at;
        if (at == utf8.size())
            return to;
        to = writeEscape(to, static_cast<unsigned char>(utf8[at]));
        utf8.remove_prefix(at + 1);
    }
}

// What a field writes beside its escaped name and value.
constexpr std::string_view kHead = ",[\"", kMiddle = "\",\"", kTail = "\"]";
constexpr std::size_t kFieldFrame = kHead.size() + kMiddle.size() + kTail.size();

// Writes at `to` the field as the pair [name, value], after a comma unless it
// is `first`, where there is room for kFieldFrame bytes and kEscapedByte for
// each byte of the two; returns the end of what it wrote. `write(to, text)`
// writes the name and the value.
template <class Write>
char* writeField(char* to, std::string_view name, std::string_view value, bool first, Write&& write)
{
    const std::string_view head = first ? kHead.substr(1) : kHead;
    to = std::copy(head.begin(), head.end(), to);
    to = write(to, name);
    to = std::copy(kMiddle.begin(), kMiddle.end(), to);
    to = write(to, value);
    return std::copy(kTail.begin(), kTail.end(), to);
}

// Writes at `to` the fields of `run` as writeField does, where there is room
// for kFieldFrame bytes a field and kEscapedByte a byte of the run; returns
// the end of what it wrote. The run's bytes are looked at once, for those to
// escape, which `escapes` receives a bit each for, and each name and value is
// copied up to the next of them in one block of 64 bytes where the run has
// as many left: what that reads on is the run's own, and what it writes on
// is written over next.
char* writeRun(char* to, const FormFieldSplitter::FieldRun& run, bool first,
               std::vector<std::uint64_t>& escapes)
{
    constexpr std::size_t kBlock = 64;
    const char* const begin = run.bytes.data();
    const char* const end = begin + run.bytes.size();
    escapedBytes().mark(run.bytes, escapes);
    // The first byte to escape from `from` on, or the end.
    const auto nextEscape = [&](const char* from) {
        std::size_t word = std::size_t(from - begin) / 64;
        if (word == escapes.size())
            return end;
        std::uint64_t bits = escapes[word] & (~std::uint64_t(0) << (from - begin) % 64);
        while (bits == 0) {
            if (++word == escapes.size())
                return end;
            bits = escapes[word];
        }
        return begin + word * 64 + std::size_t(__builtin_ctzll(bits));
    };
    const char* escape = nextEscape(begin);
    const auto write = [&](char* out, std::string_view text) {
        const char* at = text.data();
        const char* const stop = at + text.size();
        while (at != stop) {
            const char* const until = std::min(stop, escape);
            const std::size_t size = std::size_t(until - at);
            if (size <= kBlock && std::size_t(end - at) >= kBlock)
                std::memcpy(out, at, kBlock);
            else
                std::memcpy(out, at, size);
            out += size;
            at = until;
            if (at == stop)
                break;
            out = writeEscape(out, static_cast<unsigned char>(*at++));
            escape = nextEscape(at);
        }
        return out;
    };
    for (const FormFieldView& field : run.fields) {
        to = writeField(to, field.name, field.value, first, write);
        first = false;
    }
    return to;
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
    m_used += static_cast<std::size_t>(writeField(start, name, value, first, writeEscaped) - start);
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
    const char* const to = writeRun(start, run, first, m_escapes);
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
