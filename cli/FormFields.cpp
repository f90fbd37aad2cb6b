#include "FormFields.h"

#include "ByteScan.h"
#include "FormScan.h"
#include "Utf8Converter.h"

#include "convert/PlainFormSplitter.h"

#include <algorithm>

namespace {

// Whether the body holds the name of a "_charset_" field anywhere. Most do
// not, which a search for the name tells faster than a scan for where it
// stands; the name may be cut between two pieces.
bool holdsCharsetName(const FormBody& body)
{
    static constexpr std::string_view kName = "_charset_=";
    bool found = false;
    std::string seam; // the end of the last piece and the start of this one
    body.read([&](std::string_view piece) {
        seam.append(piece.substr(0, kName.size() - 1));
        found = seam.find(kName) != std::string::npos ||
                ByteScan::findWord(piece, kName) != piece.size();
        // The last bytes read, for a name that the next piece ends.
        if (piece.size() >= kName.size() - 1)
            seam.assign(piece.substr(piece.size() - (kName.size() - 1)));
        else
            seam.erase(0, seam.size() - std::min(seam.size(), kName.size() - 1));
        return !found;
    });
    return found;
}

} // namespace

std::optional<std::string> FormFields::read(FormBody& body, FormDecoding decoding, bool utf8,
                                            const Sink& sink)
{
    // A run's fields still go to the sink one by one, but are checked at once.
    return read(body, decoding, utf8, sink, [&sink](const FormFieldSplitter::FieldRun& run) {
        for (const FormFieldView& field : run.fields)
            sink(field);
    });
}

std::optional<std::string> FormFields::read(FormBody& body, FormDecoding decoding, bool utf8,
                                            const Sink& sink, const RunSink& runs)
{
    std::string charset;
    if (utf8 && decoding == FormDecoding::Standard) {
        if (!body.scanned()) {
            std::optional<std::string> field;
            if (holdsCharsetName(body)) {
                FormScan scan;
                body.readInto(scan);
                field = scan.charsetField(body.kind());
            }
            body.setCharsetField(std::move(field));
        }
        charset = body.charsetField().value_or(body.partCharset());
    }
    Utf8Converter convert(charset);
    std::string name, value; // the converted text where it differs
    const auto field = [&](const FormFieldView& f) {
        if (!utf8)
            return sink(f);
        sink(
            FormFieldView{convert.convert(f.name, name), convert.convert(f.value, value), f.named});
    };
    if (body.kind() == FormKind::TextPlain) {
        PlainFormSplitter splitter([&](FormField& f) {
            field(FormFieldView{f.name, f.value, f.named});
        });
        body.readInto(splitter);
    } else {
        // A run goes on as it is where its bytes stay as they are: where
        // they are UTF-8 and so is each name and value, which holds where
        // the whole is and each of them starts at a character.
        const auto run = [&](const FormFieldSplitter::FieldRun& fields) {
            const auto startsCharacter = [](std::string_view part) {
                return part.empty() || (static_cast<unsigned char>(part[0]) & 0xC0) != 0x80;
            };
            bool asTheyAre = !utf8 || (convert.keepsUtf8() && Utf8Converter::isUtf8(fields.bytes));
            for (std::size_t i = 0; asTheyAre && i < fields.fields.size(); ++i)
                asTheyAre = startsCharacter(fields.fields[i].name) &&
                            startsCharacter(fields.fields[i].value);
            if (asTheyAre)
                return runs(fields);
            for (const FormFieldView& f : fields.fields)
                field(f);
        };
        FormFieldSplitter splitter(FormFieldSplitter::ViewSink(field), decoding,
                                   FormFieldSplitter::RunSink(run));
        body.readInto(splitter);
    }
    if (convert.unknownCharset())
        return "its charset \"" + charset +
               "\" is not known here; each name and value is read as UTF-8 where it is "
               "valid UTF-8, else as Windows-1252";
    if (convert.fellBack())
        return "some of its names or values are not valid " + charset +
               "; each of those is read as UTF-8 where it is valid UTF-8, else as Windows-1252";
    return std::nullopt;
}
