#pragma once

#include "SubmissionWriter.h"

#include "convert/FormFieldSplitter.h"

// JSON Lines: one object per submission, with "source", for mail
// "message_id" and "date" (null when the message has none), and "fields" as
// an array of [name, value] pairs in order. A text that is not valid UTF-8 is
// written as Windows-1252, as the panes show it. Each field is written as soon
// as it is complete, so only one field is held at a time.
class JsonLinesWriter : public SubmissionWriter
{
public:
    JsonLinesWriter(Sink sink, FormDecoding decoding);

    void begin(const Submission& submission) override;
    void feed(std::string_view encoded) override;
    void end() override;

    // `bytes` as a JSON string.
    static std::string jsonString(std::string_view bytes);

private:
    Sink m_sink;
    FormFieldSplitter m_splitter;
    bool m_firstField = true;
};
