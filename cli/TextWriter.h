#pragma once

#include "SubmissionWriter.h"

#include "convert/FormDecoder.h"

#include <memory>

// The decoded text of each submission (with faithful decoding exactly as Quick
// Convert writes it), with one field break between two submissions. Streams: it holds no more
// than one piece's decoding.
class TextWriter : public SubmissionWriter
{
public:
    TextWriter(Sink sink, FormDecoding decoding)
        : m_sink(std::move(sink)), m_decoder(FormDecoder::create(decoding))
    {}

    void begin(const Submission& submission) override;
    void feed(std::string_view encoded) override;
    void end() override;

private:
    void flush();

    Sink m_sink;
    std::unique_ptr<FormDecoder> m_decoder;
    std::string m_decoded;
    bool m_first = true;
};
