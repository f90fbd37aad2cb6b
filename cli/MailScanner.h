#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <unordered_map>
#include <utility>
#include <vector>

// Finds the messages of a mail file (the file, or each message of an mbox)
// and, in each, what to leave out before GMime parses it. GMime holds in
// memory every header field, every part, and the text around the parts of a
// multipart (its preface and epilogue), so that a hostile mail could make it
// take any amount. The scanner follows each message's structure as GMime
// will (header blocks, boundaries, embedded messages, mbox "From " lines)
// and leaves out:
//  - what lies beyond 64 KiB in a header line;
//  - the lines beyond 256 KiB of one header block, or beyond 1 MiB of all the
//    header blocks of a message;
//  - what lies beyond 64 KiB of all the prefaces and epilogues of a message;
//  - everything after the message's 1,000th part.
// The parts' contents stay in the file, where GMime reads them when asked,
// and are never cut.
//
// It also leaves out the fields of the message's own header block that
// GMime need not read, which it would make an object of each: all but
// Content-*. Of those, it keeps the values of Date and Message-ID for the
// reader. It does so only in a block that ends with a blank line and holds
// no line that is no header, as how GMime reads such a line depends on the
// fields before it. Of such a block, and of each part's, it also keeps the
// fields that say how the part is written, so that a message of one part,
// or of a multipart of such parts, is read without GMime parsing it and
// making an object of each part, field and parameter (see Message::parts).
class MailScanner
{
public:
    enum Cut : unsigned
    {
        HeaderLine = 1,
        HeaderBlock = 2,
        Face = 4,
        Parts = 8,
    };

    struct Message
    {
        off_t start = 0; // after the mbox "From " line
        off_t end = 0;
        std::vector<std::pair<off_t, off_t>> leftOut; // [from, to) ranges, in order
        unsigned cuts = 0;                            // the Cut kinds that left something out
        // Whether the message's Date and Message-ID fields were left out, and
        // then the last of each as GMime would have read it: the text after
        // the colon, its lines joined without their breaks.
        bool fieldsTaken = false;
        std::optional<std::string> date, messageId;
        // A part that is neither a multipart nor a message, whose header
        // block ends with a blank line and holds no line that is no header:
        // where its content starts and ends, and its Content-Type,
        // Content-Disposition and Content-Transfer-Encoding fields, taken as
        // Date and Message-ID are.
        struct Part
        {
            off_t content = 0;
            off_t end = 0;
            std::optional<std::string> type, disposition, encoding;
        };
        // The parts of a message that can be read without GMime parsing it:
        // a message that is such a part, or a multipart (not a digest) of
        // one or more such parts, each of whose boundary lines ends with a
        // line break and holds no other CR, as GMime would have cut them.
        // Empty for any other, and for a message with anything left out.
        std::vector<Part> parts;
    };

    // Reads `fd` from `start` on; an mbox splits into messages at each line
    // that begins with "From ".
    MailScanner(int fd, off_t start, bool mbox);

    // The next message; false after the last. Throws FileError when the file
    // cannot be read.
    bool next(Message& message);

    // The bytes of the message that next() gave last, from start to end,
    // when they lie whole in the scanner's buffer of 256 KiB, with the line
    // after them; nothing for a larger message. They stay there until next()
    // is called again.
    std::optional<std::string_view> held(const Message& message) const;

    // What `cuts` left out, in words.
    static std::string describe(unsigned cuts);

private:
    struct Line
    {
        off_t at = 0;
        off_t length = 0;      // with its line break
        std::size_t eol = 0;   // the length of that break: 0, 1 or 2
        std::string_view head; // the line's first bytes, without the break
    };
    struct Level
    {
        std::string boundary;
        bool digest;
    };
    enum class State
    {
        Headers,
        Body,
        Face, // preface or epilogue
    };

    bool readLine(Line& line);
    void process(const Line& line);
    void headerLine(const Line& line);
    enum class Block
    {
        Leaf,      // neither a multipart nor a message
        Multipart, // of a boundary that starts a level, not a digest
        Other,
    };
    // Ends the header block, and says what its type makes of it.
    Block endBlock();
    // Ends the content of the part being read at a boundary `line`, as
    // GMime does: the line break before it, as long as the boundary line's
    // own, belongs to the boundary.
    void endPart(const Line& line);
    void startBlock(bool message);
    bool boundary(const Line& line);
    // Whether the block's Content-Transfer-Encoding is one that GMime
    // decodes (base64, quoted-printable, uuencode).
    bool encoded() const;
    void popTo(std::size_t levels);
    void leaveOut(off_t from, off_t to, Cut cut);
    // Leaves out the unread fields of the block that ends.
    void leaveOutUnread();

    int m_fd;
    bool m_mbox;
    // Reading lines.
    std::vector<char> m_buffer;
    off_t m_bufferAt;
    std::size_t m_begin = 0, m_end = 0;
    off_t m_holdFrom = -1; // where the message being read starts, kept in the buffer; or -1
    bool m_eof = false;
    std::string m_longHead;
    bool m_started = false;
    bool m_done = false;
    off_t m_nextStart = 0;
    // The message being scanned.
    Message* m_message = nullptr;
    State m_state = State::Headers;
    std::vector<Level> m_levels;
    std::unordered_map<std::string, std::vector<std::size_t>> m_levelsOf; // by boundary
    bool m_overflow = false;
    unsigned m_parts = 0;
    std::size_t m_headerBytes = 0; // of the message's blocks before this one
    std::size_t m_faceBytes = 0;
    // The header block being scanned.
    bool m_topBlock = true;
    std::size_t m_blockBytes = 0;
    bool m_blockHasFields = false;
    bool m_hasMessageFields = false;
    bool m_unreadField = false; // the field being scanned is not read
    // Where the field being scanned is taken: m_date, m_messageId, a field of
    // m_part, or nowhere.
    std::optional<std::string>* m_taken = nullptr;
    std::optional<std::string> m_date, m_messageId;
    Message::Part m_part; // the block's fields for it
    // The message's parts are read as Message::parts says, as far as the
    // scan has got; while the state is Body, the last of them has no end yet.
    bool m_partsReadable = false;
    bool m_headerLike = true;                      // no line of the block so far is no header
    std::vector<std::pair<off_t, off_t>> m_unread; // the block's unread fields
    bool m_hasContentType = false;
    bool m_inContentType = false;
    std::string m_contentType;
    // The block's first Content-Transfer-Encoding field, which tells GMime
    // whether a message/rfc822 part holds a message or encoded bytes.
    bool m_hasEncoding = false;
    bool m_inEncoding = false;
    std::string m_encoding;
};
