#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

// Where one submission's form body comes from: a file, or a message of a mail file.
struct Submission
{
    std::string source; // the file's name; for a message of an mbox, "NAME#N"
    bool mail = false;
    std::optional<std::string> messageId; // only for mail, when the message has one
    std::optional<std::string> date;      // the Date header as written
};

// Writes submissions in one output format. Each submission is begin(), its
// encoded body fed in pieces cut anywhere, then end(); finish() follows the last.
class SubmissionWriter
{
public:
    using Sink = std::function<void(std::string_view)>;

    virtual ~SubmissionWriter() = default;
    virtual void begin(const Submission& submission) = 0;
    virtual void feed(std::string_view encoded) = 0;
    virtual void end() = 0;
    virtual void finish() {}
};
