#pragma once

#include "SpoolFile.h"
#include "SubmissionWriter.h"

#include "convert/FormDecoder.h"

#include <cstdint>
#include <deque>
#include <string>
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

    // Appends one cell of UTF-8 text to `out`, quoted where needed.
    static void appendCell(std::string& out, std::string_view text, bool escapeFormula);

private:
    struct CellAt
    {
        std::uint64_t column;
        std::uint64_t offset; // from the start of the row's cells
        std::uint64_t length;
    };

    // A column, and what the row being written has made of its name.
    struct Column
    {
        std::string name;
        std::size_t hash = 0;         // of the name
        std::uint64_t usedInRow = 0;  // the last row with a cell in it, counted from 1
        std::uint64_t triedInRow = 0; // the last row where a field of this name was
        unsigned nextSuffix = 2;      // there, the next "#N" to try
    };

    // A place in the table of names: the top half of the name's hash and
    // its column plus one, or 0 for a free place.
    struct Slot
    {
        std::uint32_t tag = 0;
        std::uint32_t column = 0;
    };

    // The column named `name`, made when there is none.
    std::size_t columnOf(std::string_view name);
    // Doubles the table of names.
    void growSlots();
    void addCell(std::size_t column, std::string_view text);
    std::size_t freeColumn(const std::string& name);
    void endRow();
    void writeRow(off_t at, off_t& next);
    void writeCommas(std::size_t count);

    Sink m_sink;
    FormDecoding m_decoding;
    bool m_mail;
    bool m_escape;
    // Each name is held once, in its column. The table finds it by hash,
    // the next free place after a taken one (at most half are taken), so
    // that a form of a million names makes one pass over memory per name
    // rather than the several of a map of nodes.
    std::deque<Column> m_columns;
    std::vector<Slot> m_slots;
    std::string m_suffixed; // "name#N", kept for its capacity
    SpoolFile m_spool;
    // The row being written.
    std::uint64_t m_row = 0;
    off_t m_rowStart = 0;
    std::vector<CellAt> m_cells;
    std::string m_cell; // one cell's text, kept for its capacity
};
