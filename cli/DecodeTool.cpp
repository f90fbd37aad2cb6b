#include "DecodeTool.h"

#include "CsvWriter.h"
#include "DecodeOptions.h"
#include "FileText.h"
#include "FormatLibrary.h"
#include "InputSource.h"
#include "JsonLinesWriter.h"
#include "Output.h"
#include "SeekableInput.h"
#include "SubmissionStore.h"
#include "TextWriter.h"
#include "files/SignalCleanup.h"

#include "files/FileError.h"
#include "files/FileReader.h"

#include <cstdio>
#include <memory>
#include <new>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The output failed: the run ends, whatever input was being read.
struct OutputFailed
{
    FileError error;
};

std::unique_ptr<SubmissionWriter> makeWriter(const DecodeOptions& options, WriterSink& sink)
{
    switch (options.format) {
    case DecodeOptions::Format::Text:
        return std::make_unique<TextWriter>(sink, options.decoding);
    case DecodeOptions::Format::Json:
        return std::make_unique<JsonLinesWriter>(sink, options.decoding);
    default:
        // A database keeps mail's columns.
        return std::make_unique<CsvWriter>(
            sink, options.decoding, options.mail || !options.from.empty(), options.escapeFormulas);
    }
}

// Ends the run from inside a mail file.
struct Stop
{
};

} // namespace

DecodeTool::DecodeTool(const DecodeOptions& options, Output* output, SubmissionStore* store)
    : m_options(options), m_output(output), m_store(store),
      m_sink([this](std::string_view bytes) { send(bytes); })
{
    // Writing to a file standard output goes to, an input that is that same
    // file would grow as it is read and never end.
    m_outputKnown = (options.output.empty() || Output::isStandardOutput(options.output)) &&
                    ::fstat(STDOUT_FILENO, &m_outputFile) == 0 && S_ISREG(m_outputFile.st_mode) &&
                    m_outputFile.st_size > 0;
    if (store)
        return;
    m_ownWriter = makeWriter(options, m_sink);
}

SubmissionWriter& DecodeTool::writer()
{
    return m_store ? m_store->writer() : *m_ownWriter;
}

DecodeTool::~DecodeTool() = default;

int DecodeTool::decodeAll()
{
    if (!m_options.from.empty()) {
        exportKept();
        return kDone;
    }
    InputSource inputs(m_options.inputs, m_options.mail, m_options.recursive);
    for (;;) {
        try {
            const std::optional<InputSource::Input> input = inputs.next();
            if (!input)
                break;
            decode(input->name, input->standardInput);
        } catch (const FileError& e) {
            if (!failed(describe(e)))
                break;
        } catch (const Stop&) {
            break;
        }
        flush();
    }
    if (m_store && m_failed) {
        // The store's transaction is rolled back as it goes.
        report(m_store->path() + ": nothing of this run was kept; the database is as it was "
                                 "before it");
        return kFailed;
    }
    writer().finish();
    flush();
    if (m_failed)
        return kFailed;
    if (m_store) {
        m_store->commit();
        report(m_store->path() + ": " + std::to_string(m_store->added()) + " added, " +
               std::to_string(m_store->skipped()) + " already kept");
    } else {
        m_output->commit();
    }
    return m_skipped ? kSkipped : kDone;
}

void DecodeTool::exportKept()
{
    const auto kept = FormatLibrary::open().database(m_options.from, SqliteStore::Mode::Export,
                                                     m_options.lockWait, m_options.decoding);
    kept->forEachKept([this](const Submission& submission, FormBody& body) {
        writer().write(submission, body);
        flush();
    });
    writer().finish();
    flush();
    m_output->commit();
}

// Reports a failure; returns whether the run goes on, which it does only
// when what was written stays written.
bool DecodeTool::failed(const std::string& message)
{
    flush();
    report(message);
    m_failed = true;
    return m_output && m_output->streams();
}

void DecodeTool::flush()
{
    m_sink.flush();
}

void DecodeTool::send(std::string_view bytes)
{
    if (!m_output)
        return;
    try {
        m_output->write(bytes);
    } catch (const FileError& e) {
        throw OutputFailed{e};
    }
}

void DecodeTool::mailReport(const std::string& message, MailReader::Outcome outcome)
{
    if (outcome == MailReader::Outcome::Failed) {
        if (!failed(message))
            throw Stop{};
        return;
    }
    flush();
    report(message);
    m_skipped |= outcome == MailReader::Outcome::Skipped;
}

void DecodeTool::decode(const std::string& name, bool standardInput)
{
    const auto reportMail = [this](const std::string& message, MailReader::Outcome outcome) {
        mailReport(message, outcome);
    };
    if (m_options.mail && !standardInput && ImapUrl::isImap(name)) {
        ImapUrl url;
        ImapUrl::parse(name, url); // as the options were checked
        ImapReader::Choice choice;
        choice.login = {m_options.passwordFile, m_options.caCert};
        choice.onlyNew = m_options.onlyNew;
        choice.since = m_options.since;
        choice.search = m_options.search;
        FormatLibrary::open().readImap(url, choice, m_store, writer(), reportMail);
        return;
    }
    // A FIFO's open waits for its writer, as a Unix tool's does.
    const std::unique_ptr<FileReader> in =
        standardInput ? std::make_unique<FileReader>()
                      : std::make_unique<FileReader>(name, FileReader::Accept::Streams);
    if (m_outputKnown && in->sameFileAs(m_outputFile))
        throw FileError("read", in->name(), "input file is output file");
    if (m_options.mail) {
        FormatLibrary::open().readMail(*in, writer(), reportMail);
        return;
    }
    // CSV and JSON of the standard decoding read a form twice, for its
    // "_charset_" field.
    const bool twice = m_options.format != DecodeOptions::Format::Text &&
                       m_options.decoding == FormDecoding::Standard;
    FormBody body(twice ? std::make_unique<FileText>(std::make_unique<SeekableInput>(*in))
                        : std::make_unique<FileText>(*in),
                  FormKind::UrlEncoded, FormBody::End::AsIs);
    Submission submission;
    submission.source = in->name();
    if (const auto note = writer().write(submission, body))
        report(in->name() + ": " + *note);
}

void DecodeTool::report(const std::string& message)
{
    std::fprintf(stderr, "formtidy-decode: %s\n", message.c_str());
}

std::string DecodeTool::describe(const FileError& e)
{
    return e.path() + ": " + e.reason();
}

int DecodeTool::run(const std::vector<std::string>& args)
{
    DecodeOptions options;
    if (const auto code = DecodeOptions::parse(args, options))
        return *code;
    // Ctrl+C and the like remove a half-written OUT's temporary file.
    SignalCleanup::install();
    try {
        if (options.format == DecodeOptions::Format::Sqlite) {
            const auto store = FormatLibrary::open().database(
                options.output, SqliteStore::Mode::Add, options.lockWait, options.decoding);
            return DecodeTool(options, nullptr, store.get()).decodeAll();
        }
        Output output(options.output, &report);
        return DecodeTool(options, &output, nullptr).decodeAll();
    } catch (const Stop&) {
        return kFailed;
    } catch (const OutputFailed& e) {
        report(describe(e.error));
    } catch (const FileError& e) {
        report(describe(e));
    } catch (const std::bad_alloc&) {
        report("out of memory");
    } catch (const std::exception& e) {
        report(e.what());
    }
    return kFailed;
}
