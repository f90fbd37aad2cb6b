#pragma once

#include "FormBody.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>

// Where one submission comes from: a file, or a message of a mail file.
struct Submission
{
    std::string source; // the file's name; for a message of an mbox, "NAME#N"
    bool mail = false;
    std::optional<std::string> messageId; // only for mail, when the message has one
    std::optional<std::string> date;      // the Date header as written
    std::optional<std::string> utcDate; // the same as "YYYY-MM-DD HH:MM:SS" in UTC, when it parses
};

// Writes submissions in one output format, each as soon as it is given;
// finish() follows the last.
class SubmissionWriter
{
public:
    using Sink = std::function<void(std::string_view)>;

    virtual ~SubmissionWriter() = default;
    // Writes one submission. Returns a note for the user on its charset
    // (see FormFields), else nothing. Throws FileError when the body cannot
    // be read; what was written of it is then closed off where the format
    // allows.
    virtual std::optional<std::string> write(const Submission& submission, FormBody& body) = 0;
    virtual void finish() {}
};
