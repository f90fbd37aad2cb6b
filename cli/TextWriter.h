#pragma once

#include "SubmissionWriter.h"

#include "convert/FormStreamDecoder.h"

// The decoded text of each submission, exactly as Quick Convert writes it,
// with one field break between two submissions. Streams: it holds no more
// than one piece's decoding.
class TextWriter : public SubmissionWriter
{
public:
    explicit TextWriter(Sink sink) : m_sink(std::move(sink)) {}

    void begin(const Submission& submission) override;
    void feed(std::string_view encoded) override;
    void end() override;

private:
    void flush();

    Sink m_sink;
    FormStreamDecoder m_decoder;
    std::string m_decoded;
    bool m_first = true;
};
