#include "JsonLinesWriter.h"

#include "convert/Windows1252.h"

#include <glib.h>
#include <nlohmann/json.hpp>

namespace {

// The UTF-8 text for bytes: as they are when they are valid UTF-8, otherwise
// each byte as its Windows-1252 character.
std::string utf8Text(std::string_view bytes)
{
    if (g_utf8_validate(bytes.data(), static_cast<gssize>(bytes.size()), nullptr))
        return std::string(bytes);
    std::string text;
    text.reserve(bytes.size() * 2);
    char buffer[6];
    for (const char byte : bytes) {
        const gunichar ch = Windows1252ToUnicode(static_cast<unsigned char>(byte));
        text.append(buffer, static_cast<std::size_t>(g_unichar_to_utf8(ch, buffer)));
    }
    return text;
}

std::string jsonOptional(const std::optional<std::string>& text)
{
    return text ? JsonLinesWriter::jsonString(*text) : nlohmann::json(nullptr).dump();
}

} // namespace

JsonLinesWriter::JsonLinesWriter(Sink sink, FormDecoding decoding)
    : m_sink(std::move(sink)), m_splitter(
                                   [this](FormField& field) {
                                       m_sink((m_firstField ? "[" : ",[") + jsonString(field.name) +
                                              "," + jsonString(field.value) + "]");
                                       m_firstField = false;
                                   },
                                   decoding)
{}

std::string JsonLinesWriter::jsonString(std::string_view bytes)
{
    return nlohmann::json(utf8Text(bytes)).dump();
}

void JsonLinesWriter::begin(const Submission& submission)
{
    std::string head = "{\"source\":" + jsonString(submission.source);
    if (submission.mail) {
        head += ",\"message_id\":" + jsonOptional(submission.messageId);
        head += ",\"date\":" + jsonOptional(submission.date);
    }
    m_sink(head + ",\"fields\":[");
    m_firstField = true;
}

void JsonLinesWriter::feed(std::string_view encoded)
{
    m_splitter.feed(encoded);
}

void JsonLinesWriter::end()
{
    m_splitter.finish();
    m_sink("]}\n");
}
