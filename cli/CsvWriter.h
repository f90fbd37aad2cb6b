#pragma once

#include "SpoolFile.h"
#include "SubmissionWriter.h"

#include "convert/FormDecoder.h"

#include <cstdint>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

// CSV (RFC 4180, CR LF after each row) in UTF-8 (see FormFields): a header
// row, then one row per submission. The columns are "source" (for mail also
// "date", in UTC, and "message_id"), then the field names in order of first
// appearance. A field whose name is already a column of its row takes the
// first of "name#2", "name#3"... that is free there, so that no header is
// written twice and no field is lost; each field finds its name in constant
// time, however often a name repeats. Cells are quoted where they hold a
// comma, a quote or a line break.
//
// The header depends on every row, so the rows go to a spool file and are
// written after it by finish(): memory holds the header, and of the row
// being written only where its cells lie.
class CsvWriter : public SubmissionWriter
{
public:
    // With `escapeFormulas` a cell that begins with "=", "+", "-", "@", a tab
    // or a CR gets a "'" in front, so that a spreadsheet shows it as text
    // rather than running it as a formula.
    CsvWriter(Sink sink, FormDecoding decoding, bool mail, bool escapeFormulas);

    std::optional<std::string> write(const Submission& submission, FormBody& body) override;
    void finish() override;

    // One cell of UTF-8 text, quoted where needed.
    static std::string cell(std::string_view text, bool escapeFormula = false);

private:
    struct CellAt
    {
        std::uint64_t column;
        std::uint64_t offset; // from the start of the row's cells
        std::uint64_t length;
    };

    void addCell(const std::string& header, std::string_view text);
    std::string freeName(const std::string& name);
    void endRow();
    void writeRow(off_t at, off_t& next);

    Sink m_sink;
    FormDecoding m_decoding;
    bool m_mail;
    bool m_escape;
    std::vector<std::string> m_columns;
    std::unordered_map<std::string, std::size_t> m_columnOf;
    SpoolFile m_spool;
    // The row being written.
    off_t m_rowStart = 0;
    std::vector<CellAt> m_cells;
    std::unordered_set<std::string> m_used;                 // its headers so far
    std::unordered_map<std::string, unsigned> m_nextSuffix; // per name, the next "#N" to try
};
