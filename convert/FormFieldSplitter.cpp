#include "FormFieldSplitter.h"

FormFieldSplitter::FormFieldSplitter(FieldSink sink, FormDecoding decoding)
    : m_sink(std::move(sink)), m_decoder(FormDecoder::create(decoding))
{}

void FormFieldSplitter::feed(std::string_view piece)
{
    if (!piece.empty())
        m_decoder->feed(piece, *this);
}

void FormFieldSplitter::finish()
{
    if (m_decoder->finish(*this))
        m_sink(m_field);
    m_field = FormField();
}

void FormFieldSplitter::text(std::string_view decoded)
{
    // Until the name ends, a field's text is its value; see nameEnd.
    m_field.value += decoded;
}

void FormFieldSplitter::nameEnd()
{
    m_field.named = true;
    m_field.name.swap(m_field.value);
}

void FormFieldSplitter::fieldBreak()
{
    m_sink(m_field);
    // Emptied rather than made anew, so that the next field writes into the
    // memory this one had.
    m_field.name.clear();
    m_field.value.clear();
    m_field.named = false;
}

std::vector<FormField> FormFieldSplitter::split(std::string_view encoded)
{
    std::vector<FormField> fields;
    FormFieldSplitter splitter([&fields](FormField& field) { fields.push_back(std::move(field)); });
    splitter.feed(encoded);
    splitter.finish();
    return fields;
}

std::string FormFieldSplitter::join(const std::vector<FormField>& fields)
{
    std::string text;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i > 0)
            text += FormFieldBreak();
        if (fields[i].named)
            text.append(fields[i].name).append(FormNameSeparator());
        text += fields[i].value;
    }
    return text;
}
