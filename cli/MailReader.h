#pragma once

#include "SubmissionWriter.h"

#include <functional>
#include <string>

class FileReader;

// Reads a mail file, one RFC 5322 message or an mbox of many (it starts with
// "From "), one message at a time: MailScanner finds each message and what
// of it is too large, GMime parses it, MailForm finds its form, and the form
// goes to the writer. A message of one part, or a multipart of such parts,
// that the scanner holds whole is not parsed: its form is read where it
// lies, from the fields that the scanner took. Memory holds one message's
// structure, never its parts' contents.
class MailReader
{
public:
    enum class Outcome
    {
        Note,    // the message was read; something about it is worth saying
        Skipped, // the message holds no form
        Failed,  // the message, or its form, cannot be read
    };
    using Report = std::function<void(const std::string& message, Outcome outcome)>;

    // Gives the form of every message of `in` to `writer`, and reports the
    // others through `report`, naming the file, the message's number in it and
    // its Message-ID. Throws FileError when `in` cannot be read.
    static void readAll(FileReader& in, SubmissionWriter& writer, const Report& report);
    // The same for the one message in the file open on `fd` (which it takes
    // over and closes), fetched from elsewhere: `name` names it in reports,
    // and `submission` gives its source.
    static void readOne(int fd, const std::string& name, Submission submission,
                        SubmissionWriter& writer, const Report& report);
};
