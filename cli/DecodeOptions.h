#pragma once

#include "convert/FormDecoder.h"

#include <optional>
#include <string>
#include <vector>

// What formtidy-decode was asked to do, read from its command line.
struct DecodeOptions
{
    enum class Format
    {
        Text,
        Csv,
        Json,
        Sqlite,
    };

    bool mail = false;
    bool recursive = false;
    bool escapeFormulas = false;
    Format format = Format::Text;
    // Faithful for text, standard for CSV and JSON, unless --decode says.
    FormDecoding decoding = FormDecoding::Faithful;
    std::string output;              // empty: standard output
    std::vector<std::string> inputs; // "-" is standard input; empty only with `from`
    std::string from;                // a database of kept submissions to export, or empty
    // IMAP: which messages, and how to log in.
    bool onlyNew = false;
    std::string since;  // an IMAP date, "1-Feb-2026"
    std::string search; // IMAP search keys
    std::string passwordFile;
    std::string caCert;
    int lockWait = 30; // seconds to wait for a database that another run holds

    // Fills `options` from the arguments after the program's name. Returns an
    // exit code when the run ends here: after --help or --version, or on a
    // usage error, which it reports on standard error.
    static std::optional<int> parse(const std::vector<std::string>& args, DecodeOptions& options);

    static const char* usage();
};
