#include "FormDecoder.h"

#include "FormLayoutSink.h"
#include "FormStreamDecoder.h"
#include "StandardFormDecoder.h"

std::unique_ptr<FormDecoder> FormDecoder::create(FormDecoding decoding)
{
    if (decoding == FormDecoding::Standard)
        return std::make_unique<StandardFormDecoder>();
    return std::make_unique<FormStreamDecoder>();
}

void FormDecoder::feed(std::string_view piece, FormSink& sink)
{
    decode(piece, m_decoded, m_marks);
    deliver(sink);
}

bool FormDecoder::finish(FormSink& sink)
{
    const bool anyField = decodeRest(m_decoded, m_marks);
    deliver(sink);
    m_inValue = false;
    return anyField;
}

void FormDecoder::feed(std::string_view piece, std::string& out)
{
    decodeLayout(piece, out);
}

bool FormDecoder::finish(std::string& out)
{
    return decodeLayoutRest(out);
}

void FormDecoder::decodeLayout(std::string_view piece, std::string& out)
{
    FormLayoutSink sink(out);
    feed(piece, sink);
}

bool FormDecoder::decodeLayoutRest(std::string& out)
{
    FormLayoutSink sink(out);
    return finish(sink);
}

void FormDecoder::deliver(FormSink& sink)
{
    const FormSplit* const marks = m_marks.data();
    sink.piece(m_decoded, marks, marks + m_marks.size(), m_inValue);
    sink.textExpires();
    m_decoded.clear();
    m_marks.clear();
}
