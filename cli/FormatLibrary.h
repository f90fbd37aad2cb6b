#pragma once

#include "ImapReader.h"
#include "MailReader.h"
#include "SqliteStore.h"
#include "SubmissionStore.h"
#include "SubmissionWriter.h"
#include "convert/FormDecoder.h"

#include <iconv.h>

#include <memory>
#include <string>

class FileReader;

// The formats of formtidy-decode beyond form bodies in files: mail files and
// IMAP mailboxes to read, SQLite databases to write; and the charsets that
// a form may name beyond UTF-8 and Windows-1252. They stand on GMime, GLib
// and SQLite, which with the libraries they bring take the loader longer to
// link (some 6 ms) than the tool takes to decode a form body of 10 MB. So
// they are built into a library of their own (FormatModule.cpp), which the
// tool opens when a run first needs one of them, and which uses the tool's
// own classes from the executable.
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

    // A converter from `charset` to UTF-8, opened by GMime, which knows
    // more names of charsets than iconv does; (iconv_t)-1 where it knows no
    // such charset. closeIconv() closes it.
    virtual iconv_t openIconv(const char* charset) const = 0;
    virtual void closeIconv(iconv_t converter) const = 0;
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
