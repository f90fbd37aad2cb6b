#include "TextWriter.h"

#include "convert/DecodeFormText.h"

void TextWriter::begin(const Submission&)
{
    if (!m_first)
        m_sink(FormFieldBreak());
    m_first = false;
}

void TextWriter::feed(std::string_view encoded)
{
    m_decoder->feed(encoded, m_decoded);
    flush();
}

void TextWriter::end()
{
    m_decoder->finish(m_decoded);
    flush();
}

void TextWriter::flush()
{
    m_sink(m_decoded);
    m_decoded.clear();
}
