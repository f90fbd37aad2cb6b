#include "JsonLinesWriter.h"

#include "ByteScan.h"
#include "FormFields.h"
#include "Utf8Converter.h"

namespace {

std::string jsonOptional(const std::optional<std::string>& text)
{
    return text ? JsonLinesWriter::jsonString(Utf8Converter::utf8OrWindows1252(*text))
                : std::string("null");
}

void appendEscaped(std::string& out, std::string_view utf8)
{
    // nlohmann::json's serializer takes a call and a branch for each byte;
    // this copies the runs between the bytes to escape whole.
    static const ByteScan escaped({'"', '\\'}, 0x20);
    static constexpr char kHex[] = "0123456789abcdef";
    for (;;) {
        const std::size_t at = escaped.find(utf8);
        out.append(utf8.data(), at);
        if (at == utf8.size())
            break;
        const unsigned char c = static_cast<unsigned char>(utf8[at]);
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\b':
            out += "\\b";
            break;
        case '\t':
            out += "\\t";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\f':
            out += "\\f";
            break;
        case '\r':
            out += "\\r";
            break;
        default:
            out += "\\u00";
            out += kHex[c >> 4];
            out += kHex[c & 0xF];
        }
        utf8.remove_prefix(at + 1);
    }
}

} // namespace

std::string JsonLinesWriter::jsonString(std::string_view utf8)
{
    std::string out;
    out.reserve(utf8.size() + 2);
    out += '"';
    appendEscaped(out, utf8);
    out += '"';
    return out;
}

std::optional<std::string> JsonLinesWriter::write(const Submission& submission, FormBody& body)
{
    // The fields go out in pieces that the output takes without a copy,
    // not one call each.
    m_out.assign("{\"source\":").append(jsonOptional(submission.source));
    if (submission.mail) {
        m_out.append(",\"message_id\":").append(jsonOptional(submission.messageId));
        m_out.append(",\"date\":").append(jsonOptional(submission.date));
    }
    m_out += ",\"fields\":[";
    bool first = true;
    try {
        // A long name or value goes out a piece at a time, so that its JSON
        // is never held whole beside it.
        const auto string = [this](std::string_view utf8) {
            m_out += '"';
            for (;;) {
                const std::string_view piece = utf8.substr(0, kPiece);
                appendEscaped(m_out, piece);
                utf8.remove_prefix(piece.size());
                if (utf8.empty())
                    break;
                send();
            }
            m_out += '"';
        };
        const auto note = FormFields::read(body, m_decoding, true, [&](FormField& field) {
            m_out += first ? "[" : ",[";
            string(field.name);
            m_out += ',';
            string(field.value);
            m_out += ']';
            first = false;
            if (m_out.size() >= kPiece)
                send();
        });
        m_out += "]}\n";
        send();
        return note;
    } catch (...) {
        m_out += "]}\n"; // the line stays valid JSON, with the fields read so far
        send();
        throw;
    }
}

void JsonLinesWriter::send()
{
    // Emptied even when the sink throws, so that nothing goes out twice.
    struct Clear
    {
        std::string& text;
        ~Clear() { text.clear(); }
    } clear{m_out};
    m_sink(m_out);
}
