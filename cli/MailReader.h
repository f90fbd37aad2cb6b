#pragma once

#include "SubmissionWriter.h"

#include <functional>
#include <string>

class FileReader;

// Reads a mail file, one RFC 5322 message or an mbox of many (it starts with
// "From "), with GMime, and hands each message's form body to a writer. The
// form body is the message's first part of type
// application/x-www-form-urlencoded, whatever its disposition, or else the
// body of a single-part text/plain message; its transfer encoding is undone,
// and it ends before its first NUL byte.
class MailReader
{
public:
    using Report = std::function<void(const std::string& message)>;

    // Gives every message of `in` with a form body to `writer`, and reports
    // every other one through `report`, naming the file, the message's number
    // and its Message-ID. Returns false when any message was reported.
    // Throws FileError when `in` cannot be read.
    static bool readAll(FileReader& in, SubmissionWriter& writer, const Report& report);
};
