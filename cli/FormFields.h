#pragma once

#include "FormBody.h"

#include "convert/FormFieldSplitter.h"

#include <functional>
#include <optional>
#include <string>

// The fields of one form body, as a writer of CSV or JSON wants them: split
// as the body is written (URL-encoded or text/plain), decoded as asked, and
// with `utf8` their names and values turned into UTF-8 (see Utf8Converter).
// With standard decoding the bytes are read in the form's own charset: its
// "_charset_" field where it has one, else the charset of the MIME part that
// carried it; with faithful decoding, whose bytes are those of the window's
// Convert, as UTF-8 where valid and else as Windows-1252.
//
// Any input can call it with a body it found itself; a body that was not
// scanned for its "_charset_" field is read twice for it.
class FormFields
{
public:
    // A field's views are valid only while the call lasts.
    using Sink = std::function<void(const FormFieldView&)>;
    // Fields whose bytes are already as they are to be written, together (see
    // FormFieldSplitter::FieldRun).
    using RunSink = FormFieldSplitter::RunSink;

    // Gives each field to `sink` in order. Returns a note for the user when
    // the charset was unknown or did not fit the text, else nothing. The
    // fields that lie whole in a piece of the decoder's output are checked
    // together (see the other read).
    static std::optional<std::string> read(FormBody& body, FormDecoding decoding, bool utf8,
                                           const Sink& sink);
    // The same, giving `runs` the fields that it can give together, and
    // `sink` the others, each in its order.
    static std::optional<std::string> read(FormBody& body, FormDecoding decoding, bool utf8,
                                           const Sink& sink, const RunSink& runs);
};
