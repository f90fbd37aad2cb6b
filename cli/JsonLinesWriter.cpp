#include "JsonLinesWriter.h"

#include "FormFields.h"
#include "Utf8Converter.h"

#include <nlohmann/json.hpp>

namespace {

std::string jsonOptional(const std::optional<std::string>& text)
{
    return text ? JsonLinesWriter::jsonString(Utf8Converter::utf8OrWindows1252(*text))
                : nlohmann::json(nullptr).dump();
}

} // namespace

std::string JsonLinesWriter::jsonString(std::string_view utf8)
{
    return nlohmann::json(std::string(utf8)).dump();
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
            m_sink((first ? "[" : ",[") + jsonString(field.name) + "," + jsonString(field.value) +
                   "]");
            first = false;
        });
        m_sink("]}\n");
        return note;
    } catch (...) {
        m_sink("]}\n"); // the line stays valid JSON, with the fields read so far
        throw;
    }
}
