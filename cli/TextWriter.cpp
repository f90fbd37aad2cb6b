#include "TextWriter.h"

#include "convert/DecodeFormText.h"
#include "convert/PlainFormSplitter.h"

std::optional<std::string> TextWriter::write(const Submission&, FormBody& body)
{
    if (!m_first)
        m_sink(FormFieldBreak());
    m_first = false;
    if (body.kind() == FormKind::TextPlain) {
        // Its bytes are written as they are, so its charset does not matter.
        bool firstField = true;
        PlainFormSplitter splitter([&](FormField& field) {
            if (!firstField)
                m_sink(FormFieldBreak());
            firstField = false;
            if (field.named) {
                m_sink(field.name);
                m_sink(FormNameSeparator());
            }
            m_sink(field.value);
        });
        body.readInto(splitter);
        return std::nullopt;
    }
    // Each piece is decoded straight into what the sink gathers, and so
    // leaves this writer as soon as it is decoded.
    const auto decoder = FormDecoder::create(m_decoding);
    body.read([&](std::string_view piece) {
        decoder->feed(piece, m_sink.gathered());
        m_sink.filled();
        return true;
    });
    decoder->finish(m_sink.gathered());
    m_sink.filled();
    return std::nullopt;
}
