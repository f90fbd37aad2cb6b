#pragma once

#include "SubmissionWriter.h"

#include "convert/FormDecoder.h"

// JSON Lines: one object per submission, with "source", for mail
// "message_id" and "date" (null when the message has none), and "fields" as
// an array of [name, value] pairs in order, in UTF-8 (see FormFields). Each
// field is turned into JSON as soon as it is complete and goes out with the
// next 64 KiB, so only one field and that much output are held at a time.
class JsonLinesWriter : public SubmissionWriter
{
public:
    JsonLinesWriter(Sink sink, FormDecoding decoding)
        : m_sink(std::move(sink)), m_decoding(decoding)
    {}

    std::optional<std::string> write(const Submission& submission, FormBody& body) override;

    // UTF-8 text as a JSON string, as nlohmann::json writes it: the quote,
    // the backslash and the controls below U+0020 escaped, all else as it is.
    static std::string jsonString(std::string_view utf8);

private:
    // Gives m_out to the sink.
    void send();

    Sink m_sink;
    FormDecoding m_decoding;
    std::string m_out; // the text not yet given to the sink, kept for its capacity
};
