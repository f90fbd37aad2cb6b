#pragma once

#include "ImapSession.h"
#include "MailReader.h"

#include <cstdint>
#include <string>

class SqliteStore;

// Reads the form mail of an IMAP mailbox: examines it, searches it for the
// messages asked for, and fetches them in batches of a few hundred, the next
// batch asked for while one is read, so that the server never waits for the
// tool. Each message is written to a file without a name
// and read from there as a saved mail is (MailReader), so that memory holds
// one message's structure at a time, whatever the mailbox's size; its source
// is "imaps://HOST/MAILBOX;UIDVALIDITY=V;UID=N".
class ImapReader
{
public:
    struct Choice
    {
        ImapSession::Login login;
        bool onlyNew = false; // only the UIDs above the highest kept
        std::string since;    // an IMAP date, "1-Feb-2026", or empty
        std::string search;   // IMAP search keys, or empty
    };

    static constexpr std::size_t kBatch = 500;

    // Throws FileError, naming the mailbox, when it cannot be read. With a
    // `store`, --new starts above the highest UID it has kept or read of the
    // mailbox, and a read of the whole mailbox is noted there.
    static void readAll(const ImapUrl& url, const Choice& choice, SqliteStore* store,
                        SubmissionWriter& writer, const MailReader::Report& report);
};
