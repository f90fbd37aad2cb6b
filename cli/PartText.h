#pragma once

#include "FormBody.h"
#include "GObjectPtr.h"

#include <string>
#include <string_view>

// The text of a MIME part as the sender wrote it, read from the part each
// time: in an mbox, the lines that the mailbox quoted as ">From " (or
// ">>From ", and so on) first lose one ">"; then the transfer encoding
// (base64, quoted-printable, uuencode) is undone; the text ends before its
// first NUL byte; and where the part is format=flowed text, the flowing is
// undone. A text of up to 1 MiB is kept after its first whole read, so that
// a second read costs nothing.
class PartText : public FormText
{
public:
    // The text of `part`, read from its content stream.
    PartText(GMimePart* part, bool mboxQuoted);
    // The text of a part of type `type` whose content, in the transfer
    // encoding `encoding`, is `content`; the bytes stay the caller's, and
    // must outlive this.
    PartText(std::string_view content, GMimeContentType* type, GMimeContentEncoding encoding,
             bool mboxQuoted);

    // Throws FileError, with kFile as its file, when the part's content
    // cannot be read.
    void read(const Piece& piece) override;
    static constexpr const char* kFile = "the mail";

    // The part's charset parameter, or empty.
    std::string charset() const;

private:
    GObjectPtr<GMimePart> m_part; // or null, for the content in memory
    GObjectPtr<GMimeContentType> m_type;
    std::string_view m_content;
    GMimeContentEncoding m_encoding; // of the content in memory
    bool m_mboxQuoted;
    bool m_flowed = false;
    bool m_delSp = false;
    std::string m_kept;
    bool m_whole = false; // m_kept holds the whole text
};
