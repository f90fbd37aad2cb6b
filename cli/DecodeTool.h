#pragma once

#include "DecodeOptions.h"
#include "SubmissionWriter.h"

#include <memory>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "MailReader.h"

class FileError;
class Output;
class SubmissionStore;

// formtidy-decode: decodes e-mailed form data from files, folders of mail or
// standard input, one input at a time and streaming, so that memory stays
// bounded whatever the number and size of the inputs.
class DecodeTool
{
public:
    // Exit codes.
    static constexpr int kDone = 0;
    static constexpr int kFailed =
        1; // an input, a message or the output could not be read or written
    static constexpr int kUsage = 2;
    static constexpr int kSkipped = 3; // messages without a form were left out, and nothing failed

    // Runs with the arguments after the program's name. Writes the decoded
    // text to standard output (or the -o file) and messages to standard error.
    static int run(const std::vector<std::string>& args);

    // "formtidy-decode: MESSAGE" on standard error.
    static void report(const std::string& message);
    // "FILE: reason", as Unix tools name a file that failed.
    static std::string describe(const FileError& e);

private:
    // Writes to `output`, or with --format sqlite into `store`.
    DecodeTool(const DecodeOptions& options, Output* output, SubmissionStore* store);
    ~DecodeTool();

    // The writer loop: each input is opened when its turn comes, read whole
    // and closed before the next. Returns the exit code.
    int decodeAll();
    void decode(const std::string& name, bool standardInput);
    void exportKept();
    void mailReport(const std::string& message, MailReader::Outcome outcome);
    bool failed(const std::string& message);
    void flush();
    void send(std::string_view bytes);
    // m_ownWriter, or with --format sqlite the store's.
    SubmissionWriter& writer();

    const DecodeOptions& m_options;
    Output* m_output;
    SubmissionStore* m_store;
    // The writer's way to the output, which outlives the writer.
    WriterSink m_sink;
    std::unique_ptr<SubmissionWriter> m_ownWriter; // the writer, but with --format sqlite
    struct stat m_outputFile
    {
    };
    bool m_outputKnown = false;
    bool m_failed = false;
    bool m_skipped = false;
};
