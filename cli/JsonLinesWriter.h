#pragma once

#include "SubmissionWriter.h"

#include "convert/FormDecoder.h"
#include "convert/FormFieldSplitter.h"

#include <cstdint>
#include <vector>

// JSON Lines: one object per submission, with "source", for mail
// "message_id" and "date" (null when the message has none), and "fields" as
// an array of [name, value] pairs in order, in UTF-8 (see FormFields). Each
// field is turned into JSON as soon as it is complete, together with the
// others that its piece of input holds whole, and goes out with the next
// 64 KiB, so only that much input and output are held at a time.
class JsonLinesWriter : public SubmissionWriter
{
public:
    JsonLinesWriter(Sink& sink, FormDecoding decoding) : m_sink(sink), m_decoding(decoding) {}

    std::optional<std::string> write(const Submission& submission, FormBody& body) override;

private:
    // Where `bytes` more bytes of output go, after m_used.
    char* room(std::size_t bytes);
    void append(std::string_view text);
    // UTF-8 text as a JSON string, as nlohmann::json writes it: the quote,
    // the backslash and the controls below U+0020 escaped, all else as it is.
    void appendString(std::string_view utf8);
    // The same, for text that may not be UTF-8; null where there is none.
    void appendOptional(const std::optional<std::string>& text);
    // A field as the pair [name, value], after a comma unless it is `first`.
    void appendField(std::string_view name, std::string_view value, bool first);
    // The same for each field of a run, with room made once for them all.
    void appendFields(const FormFieldSplitter::FieldRun& run, bool first);
    // Gives the output so far to the sink.
    void send();

    Sink& m_sink;
    FormDecoding m_decoding;
    // The output not yet given to the sink is its first m_used bytes; the
    // rest is room, kept with its capacity so that it is filled only once.
    std::string m_out;
    std::size_t m_used = 0;
    // Where the bytes to escape are in the run being written, kept with its
    // capacity.
    std::vector<std::uint64_t> m_escapes;
};
