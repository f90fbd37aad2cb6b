#pragma once

#include "FormBody.h"
#include "GObjectPtr.h"

#include <gmime/gmime.h>

#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// Finds the form in a mail message. It walks the message's whole MIME tree
// in the order of the text (multipart/alternative, multipart/mixed and the
// rest, and message/rfc822 parts, such as a forwarded submission) and takes,
// in this order:
//  1. the first part of type application/x-www-form-urlencoded;
//  2. the first part named POSTDATA.ATT, whatever its type, as Internet
//     Explorer attaches a form;
//  3. the first text/plain part that is not an attachment and whose text is
//     a form (see FormScan).
// A text/plain post ends before a "-- " signature line; any other form is
// URL-encoded and ends before its first blank line.
//
// Any input can call it with a message it parsed itself, as a GMimeMessage's
// MIME part or as the MIME part that the whole message is, or with a message
// of one part that it did not parse.
class MailForm
{
public:
    // The form under `root`, the message's top MIME part, or null when it
    // has none. With `mboxQuoted` the message comes from an mbox (see
    // PartText). Throws FileError when a part cannot be read.
    static std::unique_ptr<FormBody> find(GMimeObject* root, bool mboxQuoted);
    // A part of a message that was not parsed: the values of its
    // Content-Type, Content-Disposition and Content-Transfer-Encoding fields
    // (null where it has none) as GMime gives them, and its raw `content`,
    // which must outlive the form.
    struct RawPart
    {
        const char* type;
        const char* disposition;
        const char* encoding;
        std::string_view content;
    };
    // The same for a message that is one part, or a multipart of such
    // parts, from its parts in the order of the text. The fields' values,
    // which mostly repeat from one message to the next, are parsed once for
    // all the messages that this is asked about.
    std::unique_ptr<FormBody> findInParts(const std::vector<RawPart>& parts, bool mboxQuoted);

private:
    template <typename T> using Parsed = std::unordered_map<std::string, GObjectPtr<T>>;
    template <typename T, typename Parse>
    static T* parsed(Parsed<T>& cache, const char* value, Parse parse);

    Parsed<GMimeContentType> m_types;
    Parsed<GMimeContentDisposition> m_dispositions;
    GObjectPtr<GMimeContentType> m_textPlain;
};
