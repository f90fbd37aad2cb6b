#include "FormFieldSplitter.h"

#include <algorithm>

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

FormFieldSplitter::FormFieldSplitter(ViewSink sink, FormDecoding decoding, RunSink runs)
    : FormFieldSplitter(std::move(sink), decoding)
{
    m_runs = std::move(runs);
}

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

void FormFieldSplitter::laterSeparator()
{
    // Not of the decoder's bytes: the value is a copy from here on.
    m_parts[m_named].keep().own += FormNameSeparator();
}

void FormFieldSplitter::textExpires()
{
    sendRun();
    m_parts[0].keep();
    m_parts[1].keep();
}

void FormFieldSplitter::piece(std::string_view decoded, const FormSplit* first,
                              const FormSplit* last, bool& inValue)
{
    const auto isBreak = [](const FormSplit& mark) { return mark.fieldBreak; };
    const FormSplit* const firstBreak = std::find_if(first, last, isBreak);
    if (!m_runs || firstBreak == last)
        return handOn(decoded, 0, decoded.size(), first, last, inValue);
    // The field that began before this piece ends at its first break.
    handOn(decoded, 0, firstBreak->at, first, firstBreak + 1, inValue);
    // The fields that lie whole between two breaks are gathered as views,
    // but one whose value holds a later separator, whose text has one
    // written for it, goes on as parts.
    std::size_t start = firstBreak->at;
    const FormSplit* splits = firstBreak + 1; // the current field's
    for (const FormSplit* mark = splits; mark != last; ++mark) {
        if (!mark->fieldBreak)
            continue;
        if (mark - splits > 1) {
            handOn(decoded, start, mark->at, splits, mark + 1, inValue);
        } else {
            // Written in place: a field made first and then copied is read
            // back whole from the smaller writes that made it, which waits.
            FormFieldView& field = m_run.emplace_back();
            field.named = mark != splits;
            const std::size_t valueAt = field.named ? splits->at : start;
            field.name = decoded.substr(start, valueAt - start);
            field.value = decoded.substr(valueAt, mark->at - valueAt);
        }
        start = mark->at;
        splits = mark + 1;
    }
    // The field that goes on into the next piece.
    handOn(decoded, start, decoded.size(), splits, last, inValue);
}

void FormFieldSplitter::handOver()
{
    const FormFieldView field = m_named ? FormFieldView{m_parts[0].text(), m_parts[1].text(), true}
                                        : FormFieldView{{}, m_parts[0].text(), false};
    // A field of views follows the last one gathered in the decoder's bytes:
    // a field that needed a copy of its own, which would come between them,
    // sends the run first.
    if (m_runs && !m_parts[0].owned && !m_parts[1].owned) {
        m_run.push_back(field);
        return;
    }
    sendRun();
    m_sink(field);
}

void FormFieldSplitter::sendRun()
{
    if (m_run.empty())
        return;
    const char* begin = nullptr;
    const char* end = nullptr;
    for (const FormFieldView& field : m_run)
        for (const std::string_view part : {field.name, field.value})
            if (!part.empty()) {
                begin = begin ? begin : part.data();
                end = part.data() + part.size();
            }
    // Emptied even when the sink throws, so that no field goes out twice.
    struct Clear
    {
        std::vector<FormFieldView>& run;
        ~Clear() { run.clear(); }
    } clear{m_run};
    m_runs(FieldRun{std::string_view(begin, std::size_t(end - begin)), m_run});
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
