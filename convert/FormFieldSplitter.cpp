#include "FormFieldSplitter.h"

FormFieldSplitter::FormFieldSplitter(FieldSink sink, FormDecoding decoding)
    : m_sink(std::move(sink)), m_decoder(FormDecoder::create(decoding))
{}

void FormFieldSplitter::feed(std::string_view piece)
{
    if (piece.empty())
        return;
    m_decoder->feed(piece, m_decoded, &m_splits);
    take();
}

void FormFieldSplitter::finish()
{
    const bool anyField = m_decoder->finish(m_decoded, &m_splits);
    take();
    if (anyField)
        m_sink(m_field);
    m_field = FormField();
}

void FormFieldSplitter::take()
{
    // Until its first separator a field's text goes into the value, and is
    // moved to the name when the separator comes.
    std::size_t from = 0;
    for (const FormSplit& split : m_splits) {
        m_field.value.append(m_decoded, from, split.at - from);
        if (split.fieldBreak) {
            from = split.at + FormFieldBreak().size();
            m_sink(m_field);
            m_field = FormField();
        } else if (!m_field.named) {
            from = split.at + FormNameSeparator().size();
            m_field.named = true;
            m_field.name.swap(m_field.value);
        } else {
            from = split.at; // later separators stay in the value
        }
    }
    m_field.value.append(m_decoded, from);
    m_decoded.clear();
    m_splits.clear();
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
