#pragma once

#include "SubmissionWriter.h"

#include "convert/FormDecoder.h"

// The decoded text of each submission, with one field break between two
// submissions. A URL-encoded body streams through the decoder, so that with
// faithful decoding the text is exactly what Quick Convert writes and only
// one piece's decoding is held; a text/plain post is written field by field
// as "name :: value". The bytes are written as they are.
class TextWriter : public SubmissionWriter
{
public:
    TextWriter(Sink& sink, FormDecoding decoding) : m_sink(sink), m_decoding(decoding) {}

    std::optional<std::string> write(const Submission& submission, FormBody& body) override;

private:
    Sink& m_sink;
    FormDecoding m_decoding;
    bool m_first = true;
};
