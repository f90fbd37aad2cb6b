#include "MailForm.h"

#include "FormScan.h"
#include "PartText.h"

#include <vector>

namespace {

// The leaf parts under `root`, in the order of its text. The walk keeps its
// own stack, so that no nesting is too deep for it.
std::vector<GMimePart*> leafParts(GMimeObject* root)
{
    std::vector<GMimePart*> parts;
    std::vector<GMimeObject*> stack{root};
    while (!stack.empty()) {
        GMimeObject* object = stack.back();
        stack.pop_back();
        if (!object)
            continue;
        if (GMIME_IS_MULTIPART(object)) {
            GMimeMultipart* multipart = GMIME_MULTIPART(object);
            for (int i = g_mime_multipart_get_count(multipart); i-- > 0;)
                stack.push_back(g_mime_multipart_get_part(multipart, i));
        } else if (GMIME_IS_MESSAGE_PART(object)) {
            GMimeMessage* inner = g_mime_message_part_get_message(GMIME_MESSAGE_PART(object));
            if (inner)
                stack.push_back(g_mime_message_get_mime_part(inner));
        } else if (GMIME_IS_PART(object)) {
            parts.push_back(GMIME_PART(object));
        }
    }
    return parts;
}

bool hasType(GMimePart* part, const char* type, const char* subtype)
{
    return g_mime_content_type_is_type(g_mime_object_get_content_type(GMIME_OBJECT(part)), type,
                                       subtype);
}

bool isAttachment(GMimePart* part)
{
    GMimeContentDisposition* disposition =
        g_mime_object_get_content_disposition(GMIME_OBJECT(part));
    return disposition && g_mime_content_disposition_is_attachment(disposition);
}

std::unique_ptr<FormBody> makeBody(std::unique_ptr<PartText> text, FormKind kind,
                                   const FormScan* scan)
{
    const std::string charset = text->charset();
    auto body = std::make_unique<FormBody>(
        std::move(text), kind,
        kind == FormKind::TextPlain ? FormBody::End::Signature : FormBody::End::FirstBlankLine,
        charset);
    if (scan)
        body->setCharsetField(scan->charsetField(kind));
    return body;
}

// The part's form when its text is one; with `anyText` a text that is none
// is taken as URL-encoded.
std::unique_ptr<FormBody> scanned(GMimePart* part, bool mboxQuoted, bool anyText)
{
    auto text = std::make_unique<PartText>(part, mboxQuoted);
    FormScan scan;
    text->read([&](std::string_view piece) {
        scan.feed(piece);
        return anyText || !scan.notAForm();
    });
    scan.finish();
    if (scan.urlEncoded() || (anyText && !scan.textPlain()))
        return makeBody(std::move(text), FormKind::UrlEncoded, &scan);
    if (scan.textPlain())
        return makeBody(std::move(text), FormKind::TextPlain, &scan);
    return nullptr;
}

} // namespace

std::unique_ptr<FormBody> MailForm::find(GMimeObject* root, bool mboxQuoted)
{
    const std::vector<GMimePart*> parts = leafParts(root);
    for (GMimePart* part : parts)
        if (hasType(part, "application", "x-www-form-urlencoded"))
            return makeBody(std::make_unique<PartText>(part, mboxQuoted), FormKind::UrlEncoded,
                            nullptr);
    for (GMimePart* part : parts) {
        const char* name = g_mime_part_get_filename(part);
        if (name && g_ascii_strcasecmp(name, "POSTDATA.ATT") == 0)
            return scanned(part, mboxQuoted, true);
    }
    for (GMimePart* part : parts)
        if (hasType(part, "text", "plain") && !isAttachment(part))
            if (auto body = scanned(part, mboxQuoted, false))
                return body;
    return nullptr;
}
