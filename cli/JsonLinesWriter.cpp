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

} // namespace

std::string JsonLinesWriter::jsonString(std::string_view utf8)
{
    std::string out;
    appendJsonString(out, utf8);
    return out;
}

void JsonLinesWriter::appendJsonString(std::string& out, std::string_view utf8)
{
    // nlohmann::json's serializer takes a call and a branch for each byte;
    // this copies the runs between the bytes to escape whole.
    static const ByteScan escaped({'"', '\\'}, 0x20);
    static constexpr char kHex[] = "0123456789abcdef";
    out.reserve(out.size() + utf8.size() + 2);
    out += '"';
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
    out += '"';
}

std::optional<std::string> JsonLinesWriter::write(const Submission& submission, FormBody& body)
{
    std::string head = "{\"source\":" + jsonOptional(submission.source);
    if (submission.mail) {
        head += ",\"message_id\":" + jsonOptional(submission.messageId);
        head += ",\"date\":" + jsonOptional(submission.date);
    }
    m_sink(head + ",\"fields\":[");
    bool first = true;
    try {
        const auto note = FormFields::read(body, m_decoding, true, [&](FormField& field) {
            m_field.assign(first ? "[" : ",[");
            appendJsonString(m_field, field.name);
            m_field += ',';
            appendJsonString(m_field, field.value);
            m_field += ']';
            m_sink(m_field);
            first = false;
        });
        m_sink("]}\n");
        return note;
    } catch (...) {
        m_sink("]}\n"); // the line stays valid JSON, with the fields read so far
        throw;
    }
}
