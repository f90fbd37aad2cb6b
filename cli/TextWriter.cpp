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
    const auto decoder = FormDecoder::create(m_decoding);
    std::string decoded;
    body.read([&](std::string_view piece) {
        decoder->feed(piece, decoded);
        m_sink(decoded);
        decoded.clear();
        return true;
    });
    decoder->finish(decoded);
    m_sink(decoded);
    return std::nullopt;
}
