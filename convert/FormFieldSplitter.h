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

// A field as FormField holds it, but as views of bytes that stay valid only
// while the call it is handed to lasts.
struct FormFieldView
{
    std::string_view name;
    std::string_view value;
    bool named = false;
};

// Splits a form body into its fields as the decoder (DecodeFormText's rules
// unless told otherwise) hands them over: the name ends at the field's first
// name separator; a later one stays in the value as DecodeFormText writes it.
// So the fields, joined back with FormNameSeparator (where named) and
// FormFieldBreak, give exactly DecodeFormText of the same text.
//
// The text may arrive in pieces cut anywhere; each field is handed over as
// soon as it is complete, so that only the field being read is held. A
// field that lies whole in the decoder's bytes is handed over as views of
// them, without a copy.
class FormFieldSplitter : private FormSink
{
public:
    // Fields that lie whole in one run of the decoder's bytes: their names
    // and values, back to back, make up `bytes`.
    struct FieldRun
    {
        std::string_view bytes;
        const std::vector<FormFieldView>& fields;
    };
    using FieldSink = std::function<void(FormField&)>;
    using ViewSink = std::function<void(const FormFieldView&)>;
    using RunSink = std::function<void(const FieldRun&)>;

    explicit FormFieldSplitter(FieldSink sink, FormDecoding decoding = FormDecoding::Faithful);
    explicit FormFieldSplitter(ViewSink sink, FormDecoding decoding = FormDecoding::Faithful);
    // The same, but the fields that lie whole in the decoder's bytes go to
    // `runs`, as many together as one piece holds, so that a sink that checks
    // or copies bytes does so once for them all. The rest go to `sink`, each
    // in its order among them.
    FormFieldSplitter(ViewSink sink, FormDecoding decoding, RunSink runs);

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
    // The name or the value of the field being read: a view of the decoder's
    // bytes while it is one run of them, else a copy of its own.
    struct Part
    {
        std::string_view view;
        std::string own;
        bool owned = false;

        void add(std::string_view bytes)
        {
            if (!owned && view.empty())
                view = bytes;
            else
                keep().own += bytes;
        }
        // Makes the part its own copy.
        Part& keep()
        {
            if (!owned) {
                own.assign(view);
                owned = true;
            }
            return *this;
        }
        std::string_view text() const { return owned ? std::string_view(own) : view; }
        // Its copy is emptied rather than freed, so that the next field that
        // needs one writes into the same memory.
        void clear()
        {
            view = {};
            own.clear();
            owned = false;
        }
    };

    void text(std::string_view decoded) override;
    void nameEnd() override;
    void fieldBreak() override;
    void textExpires() override;
    void laterSeparator() override;
    void piece(std::string_view decoded, const FormSplit* first, const FormSplit* last,
               bool& inValue) override;
    void handOver();
    void clear();
    // Hands the fields gathered for m_runs over.
    void sendRun();

    ViewSink m_sink;
    RunSink m_runs;
    std::vector<FormFieldView> m_run;
    std::unique_ptr<FormDecoder> m_decoder;
    // The field's text goes to the first part until its name ends, then to
    // the second; a field whose name never ends is all value.
    Part m_parts[2];
    bool m_named = false;
};
