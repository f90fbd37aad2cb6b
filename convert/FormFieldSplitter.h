#pragma once

#include "DecodeFormText.h"
#include "FormDecoder.h"
#include "FormSink.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// One field of a decoded form: its name and its value, as decoded bytes.
struct FormField
{
    std::string name;
    std::string value;
    // False for a field without a lead "=": its name is empty and its whole
    // decoded text is the value.
    bool named = false;
};

// Splits a form body into its fields as the decoder (DecodeFormText's rules
// unless told otherwise) hands them over: the name ends at the field's first
// name separator; a later one stays in the value as DecodeFormText writes it.
// So the fields, joined back with FormNameSeparator (where named) and
// FormFieldBreak, give exactly DecodeFormText of the same text.
//
// The text may arrive in pieces cut anywhere; each field is handed over as
// soon as it is complete, so that only the field being read is held.
class FormFieldSplitter : private FormSink
{
public:
    using FieldSink = std::function<void(FormField&)>;

    explicit FormFieldSplitter(FieldSink sink, FormDecoding decoding = FormDecoding::Faithful);

    void feed(std::string_view piece);
    // Hands over the last field. A text has one more field than it has field
    // breaks, unless it has none at all (the empty text; in standard decoding
    // also one of "&" alone). The splitter is then ready for a new text.
    void finish();

    // The fields of a whole text.
    static std::vector<FormField> split(std::string_view encoded);
    // The decoded text that `fields` come from.
    static std::string join(const std::vector<FormField>& fields);

private:
    void text(std::string_view decoded) override;
    void nameEnd() override;
    void fieldBreak() override;

    FieldSink m_sink;
    std::unique_ptr<FormDecoder> m_decoder;
    FormField m_field;
};
