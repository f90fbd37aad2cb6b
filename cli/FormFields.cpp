#include "FormFields.h"

#include "FormScan.h"
#include "Utf8Converter.h"

#include "convert/PlainFormSplitter.h"

std::optional<std::string> FormFields::read(FormBody& body, FormDecoding decoding, bool utf8,
                                            const Sink& sink)
{
    std::string charset;
    if (utf8 && decoding == FormDecoding::Standard) {
        if (!body.scanned()) {
            FormScan scan;
            body.read([&scan](std::string_view piece) {
                scan.feed(piece);
                return true;
            });
            scan.finish();
            body.setCharsetField(scan.charsetField(body.kind()));
        }
        charset = body.charsetField().value_or(body.partCharset());
    }
    Utf8Converter convert(charset);
    const auto field = [&](FormField& f) {
        if (utf8) {
            convert.convert(f.name);
            convert.convert(f.value);
        }
        sink(f);
    };
    const auto feedAll = [&body](auto& splitter) {
        body.read([&splitter](std::string_view piece) {
            splitter.feed(piece);
            return true;
        });
        splitter.finish();
    };
    if (body.kind() == FormKind::TextPlain) {
        PlainFormSplitter splitter(field);
        feedAll(splitter);
    } else {
        FormFieldSplitter splitter(field, decoding);
        feedAll(splitter);
    }
    if (convert.unknownCharset())
        return "its charset \"" + charset +
               "\" is not known here; its text is read as UTF-8 where valid, else as "
               "Windows-1252";
    if (convert.fellBack())
        return "some of its text is not valid " + charset +
               "; that text is read as UTF-8 where valid, else as Windows-1252";
    return std::nullopt;
}
