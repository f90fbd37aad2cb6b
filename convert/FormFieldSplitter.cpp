#include "FormFieldSplitter.h"

FormFieldSplitter::FormFieldSplitter(FieldSink sink, FormDecoding decoding)
    : FormFieldSplitter(
          ViewSink([sink = std::move(sink)](const FormFieldView& view) {
              FormField field{std::string(view.name), std::string(view.value), view.named};
              sink(field);
          }),
          decoding)
{}

FormFieldSplitter::FormFieldSplitter(ViewSink sink, FormDecoding decoding)
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
        handOver();
    clear();
}

void FormFieldSplitter::text(std::string_view decoded)
{
    m_parts[m_named].add(decoded);
}

void FormFieldSplitter::nameEnd()
{
    m_named = true;
}

void FormFieldSplitter::fieldBreak()
{
    handOver();
    clear();
}

void FormFieldSplitter::textExpires()
{
    m_parts[0].keep();
    m_parts[1].keep();
}

void FormFieldSplitter::handOver()
{
    if (m_named)
        m_sink(FormFieldView{m_parts[0].text(), m_parts[1].text(), true});
    else
        m_sink(FormFieldView{{}, m_parts[0].text(), false});
}

void FormFieldSplitter::clear()
{
    m_parts[0].clear();
    m_parts[1].clear();
    m_named = false;
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
