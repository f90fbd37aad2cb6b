#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

// A text that can be read from its start more than once: the form body of a
// mail part or of a file.
class FormText
{
public:
    // Takes each piece of the text in turn; returning false stops the read.
    using Piece = std::function<bool(std::string_view)>;

    virtual ~FormText() = default;
    // Gives the whole text, from its start, in pieces. Throws FileError when
    // it cannot be read.
    virtual void read(const Piece& piece) = 0;
};

// How a form body is written.
enum class FormKind
{
    UrlEncoded, // name=value&name2=value2, as browsers post application/x-www-form-urlencoded
    TextPlain,  // one "name=value" line per field, as browsers post enctype="text/plain"
};

// One form body: its text, how it is written, where it ends, and what it says
// of its charset.
class FormBody
{
public:
    enum class End
    {
        AsIs,           // the whole text, as Quick Convert takes a file
        FirstBlankLine, // before the first blank line, and without the line breaks that end it
        Signature,      // before a "-- " signature line, without the line breaks that end it
    };

    FormBody(std::unique_ptr<FormText> text, FormKind kind, End end, std::string partCharset = {});

    // Gives the body's text, up to its end, in pieces.
    void read(const FormText::Piece& piece) const;
    // Gives the whole text to the feed() of `reader` (a splitter or a scan)
    // in pieces, then calls its finish().
    template <class Reader> void readInto(Reader& reader) const
    {
        read([&reader](std::string_view piece) {
            reader.feed(piece);
            return true;
        });
        reader.finish();
    }

    FormKind kind() const { return m_kind; }
    // The charset of the MIME part that carried the form, or empty.
    const std::string& partCharset() const { return m_partCharset; }
    // The value of the form's own "_charset_" field, once the text was scanned
    // for it (scanned() is then true), or nothing.
    const std::optional<std::string>& charsetField() const { return m_charsetField; }
    bool scanned() const { return m_scanned; }
    void setCharsetField(std::optional<std::string> charset);

private:
    std::unique_ptr<FormText> m_text;
    FormKind m_kind;
    End m_end;
    std::string m_partCharset;
    std::optional<std::string> m_charsetField;
    bool m_scanned = false;
};
