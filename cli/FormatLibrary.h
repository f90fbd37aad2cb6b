#pragma once

#include "DecodeOptions.h"
#include "ImapReader.h"
#include "MailReader.h"
#include "SqliteStore.h"
#include "SubmissionStore.h"
#include "SubmissionWriter.h"

#include <memory>
#include <string>

class FileReader;

// The formats of formtidy-decode beyond a form body in plain text: mail
// files and IMAP mailboxes to read; CSV, JSON Lines and SQLite databases to
// write. They stand on GMime, GLib and SQLite, which with the libraries they
// bring take the loader longer to link (some 6 ms) than the tool takes to
// decode a form body of 10 MB. So they are built into a library of their own
// (FormatModule.cpp), which the tool opens when a run first asks for one of
// them, and which uses the tool's own classes from the executable.
//
// The tool reaches the library's classes through this table and the
// interfaces it gives (SubmissionWriter, SubmissionStore) only: a call that
// the executable linked directly would bring GMime or SQLite back into it.
class FormatLibrary
{
public:
    // The library, opened on first use: from beside the executable, as in a
    // build folder, or else from where it is installed. Throws FileError,
    // naming the library, when it cannot be opened.
    static const FormatLibrary& open();

    // A writer of CSV or JSON Lines, as `options` ask.
    virtual std::unique_ptr<SubmissionWriter> writer(const DecodeOptions& options,
                                                     SubmissionWriter::Sink sink) const = 0;
    // The database at `path`, opened as SqliteStore opens it, its writer
    // keeping each form's fields as `decoding` decodes them.
    virtual std::unique_ptr<SubmissionStore> database(const std::string& path,
                                                      SqliteStore::Mode mode, int lockWaitSeconds,
                                                      FormDecoding decoding) const = 0;
    // See MailReader::readAll and ImapReader::readAll.
    virtual void readMail(FileReader& in, SubmissionWriter& writer,
                          const MailReader::Report& report) const = 0;
    // `store`, if any, is one that database() gave.
    virtual void readImap(const ImapUrl& url, const ImapReader::Choice& choice,
                          SubmissionStore* store, SubmissionWriter& writer,
                          const MailReader::Report& report) const = 0;

protected:
    ~FormatLibrary() = default;
};
