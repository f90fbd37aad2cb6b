#pragma once

#include "FormBody.h"
#include "WriterSink.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Where one submission comes from: a file, a message of a mail file, or a
// message of an IMAP mailbox.
struct Submission
{
    // The file's name; for a message of an mbox, "NAME#N"; for one of an
    // IMAP mailbox, "imaps://HOST/MAILBOX;UIDVALIDITY=V;UID=N".
    std::string source;
    bool mail = false;
    std::optional<std::string> messageId; // only for mail, when the message has one
    std::optional<std::string> date;      // the Date header as written
    std::optional<std::string> utcDate; // the same as "YYYY-MM-DD HH:MM:SS" in UTC, when it parses
    // For a message of an IMAP mailbox: the mailbox (imaps://USER@HOST/MAILBOX),
    // its UIDVALIDITY and the message's UID.
    std::string mailbox;
    std::uint32_t uidValidity = 0;
    std::uint32_t uid = 0;
};

// Writes submissions in one output format, each as soon as it is given;
// finish() follows the last.
class SubmissionWriter
{
public:
    using Sink = WriterSink;
    static constexpr std::size_t kPiece = WriterSink::kPiece;

    virtual ~SubmissionWriter() = default;
    // Writes one submission. Returns a note for the user on its charset
    // (see FormFields), else nothing. Throws FileError when the body cannot
    // be read; what was written of it is then closed off where the format
    // allows.
    virtual std::optional<std::string> write(const Submission& submission, FormBody& body) = 0;
    virtual void finish() {}
};
