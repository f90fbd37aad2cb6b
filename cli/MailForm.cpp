#include "MailForm.h"

#include "FormScan.h"
#include "GObjectPtr.h"
#include "PartText.h"

#include <functional>
#include <vector>

namespace {

// A leaf part as the form is looked for: its type, its disposition (null
// when it has none) and a way to read its text.
struct Leaf
{
    GMimeContentType* type;
    GMimeContentDisposition* disposition;
    std::function<std::unique_ptr<PartText>()> text;
};

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

// As g_mime_part_get_filename finds it.
const char* filename(const Leaf& leaf)
{
    const char* name = leaf.disposition
                           ? g_mime_content_disposition_get_parameter(leaf.disposition, "filename")
                           : nullptr;
    return name ? name : g_mime_content_type_get_parameter(leaf.type, "name");
}

bool isAttachment(const Leaf& leaf)
{
    return leaf.disposition && g_mime_content_disposition_is_attachment(leaf.disposition);
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
std::unique_ptr<FormBody> scanned(const Leaf& leaf, bool anyText)
{
    std::unique_ptr<PartText> text = leaf.text();
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

std::unique_ptr<FormBody> firstForm(const std::vector<Leaf>& leaves)
{
    for (const Leaf& leaf : leaves)
        if (g_mime_content_type_is_type(leaf.type, "application", "x-www-form-urlencoded"))
            return makeBody(leaf.text(), FormKind::UrlEncoded, nullptr);
    for (const Leaf& leaf : leaves) {
        const char* name = filename(leaf);
        if (name && g_ascii_strcasecmp(name, "POSTDATA.ATT") == 0)
            return scanned(leaf, true);
    }
    for (const Leaf& leaf : leaves)
        if (g_mime_content_type_is_type(leaf.type, "text", "plain") && !isAttachment(leaf))
            if (auto body = scanned(leaf, false))
                return body;
    return nullptr;
}

} // namespace

std::unique_ptr<FormBody> MailForm::find(GMimeObject* root, bool mboxQuoted)
{
    std::vector<Leaf> leaves;
    for (GMimePart* part : leafParts(root))
        leaves.push_back(
            {g_mime_object_get_content_type(GMIME_OBJECT(part)),
             g_mime_object_get_content_disposition(GMIME_OBJECT(part)),
             [part, mboxQuoted] { return std::make_unique<PartText>(part, mboxQuoted); }});
    return firstForm(leaves);
}

template <typename T, typename Parse>
T* MailForm::parsed(Parsed<T>& cache, const char* value, Parse parse)
{
    const auto [at, added] = cache.try_emplace(value);
    if (added)
        at->second.reset(parse(nullptr, value));
    return at->second.get();
}

std::unique_ptr<FormBody> MailForm::findInParts(const std::vector<RawPart>& parts, bool mboxQuoted)
{
    // Values that differ from message to message, as a boundary does, are
    // not kept for long. What the leaves below point to stays while they do.
    constexpr std::size_t kKept = 256;
    if (m_types.size() > kKept)
        m_types.clear();
    if (m_dispositions.size() > kKept)
        m_dispositions.clear();
    if (!m_textPlain)
        m_textPlain.reset(g_mime_content_type_new("text", "plain"));
    std::vector<Leaf> leaves;
    for (const RawPart& part : parts) {
        // As GMime makes them of the fields; a part without a type is text/plain.
        GMimeContentType* type =
            part.type ? parsed(m_types, part.type, g_mime_content_type_parse) : m_textPlain.get();
        GMimeContentDisposition* disposition =
            part.disposition
                ? parsed(m_dispositions, part.disposition, g_mime_content_disposition_parse)
                : nullptr;
        const GMimeContentEncoding transfer =
            part.encoding ? g_mime_content_encoding_from_string(part.encoding)
                          : GMIME_CONTENT_ENCODING_DEFAULT;
        leaves.push_back({type, disposition, [=, content = part.content] {
                              return std::make_unique<PartText>(content, type, transfer,
                                                                mboxQuoted);
                          }});
    }
    return firstForm(leaves);
}
