#pragma once

#include "DecodeFormText.h"
#include "FormDecoder.h"

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

// Splits a form body into its fields where the decoder (DecodeFormText unless
// told otherwise) writes a field break and, within a field, where it writes its
// first name separator. A later
// separator stays in the value as DecodeFormText writes it. So the fields,
// joined back with FormNameSeparator (where named) and FormFieldBreak, give
// exactly DecodeFormText of the same text.
//
// The text may arrive in pieces cut anywhere; each field is handed over as
// soon as it is complete, so that only the field being read is held.
class FormFieldSplitter
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
    // Moves the decoded bytes in m_decoded, cut at m_splits, into the field.
    void take();

    FieldSink m_sink;
    std::unique_ptr<FormDecoder> m_decoder;
    std::string m_decoded;
    std::vector<FormSplit> m_splits;
    FormField m_field;
};
