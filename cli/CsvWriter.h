#pragma once

#include "HugePageAllocator.h"
#include "SpoolFile.h"
#include "SubmissionWriter.h"

#include "convert/FormDecoder.h"

#include <cstdint>
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
// written after it by finish(): memory holds the columns, and where a row's
// cells lie only while a row whose fields came in another order than its
// columns is sorted. A row whose fields come in the order of their columns,
// as most do, is spooled as the text it will be written as; one whose fields
// do not is spooled cell by cell, with an index of where each cell lies.
class CsvWriter : public SubmissionWriter
{
public:
    // With `escapeFormulas` a cell that begins with "=", "+", "-", "@", a tab
    // or a CR gets a "'" in front, so that a spreadsheet shows it as text
    // rather than running it as a formula.
    CsvWriter(Sink& sink, FormDecoding decoding, bool mail, bool escapeFormulas);

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

    // A column: one with a name of its own, or "NAME#N", which numbers the
    // name of another. Most columns of a form whose names repeat are of the
    // second kind, and need no text of their own until the header is written.
    struct Column
    {
        static constexpr std::uint32_t kNumbered = 0x80000000;

        std::uint64_t usedInRow = 0; // the last row with a cell in it, counted from 1
        // A column with a name of its own holds it, in m_names plus one, and
        // its own "#N" columns, in m_numbers plus one (0 for none). A column
        // "NAME#N" without holds kNumbered | the column whose name it
        // numbers, and N. So a column takes 16 bytes, and a table of a
        // million of them, fresh pages that the system must clear, 16 MB.
        std::uint32_t name = 0;
        std::uint32_t numbers = 0;

        bool named() const { return (name & kNumbered) == 0; }
        std::uint32_t numbered() const { return name & ~kNumbered; }
        std::uint32_t number() const { return numbers; }
    };

    // The columns "NAME#2", "NAME#3"... of one column, as far as any row
    // needed them, and where the last row that did stopped.
    struct Numbers
    {
        std::vector<std::uint32_t> columns;
        std::uint64_t triedInRow = 0; // the last row where a field of this name was
        std::uint32_t next = 2;       // there, the next "#N" to try
    };

    struct Name
    {
        std::string text;
        std::size_t hash;
        std::uint32_t column;
        // Its cell is the name itself, unquoted; so is that of each "NAME#N".
        bool plain;
        std::uint32_t next; // the name looked up after it the last time, plus one
    };

    // A place in the table of names: the top half of the name's hash and
    // its index in m_names plus one, or 0 for a free place.
    struct Slot
    {
        std::uint32_t tag = 0;
        std::uint32_t name = 0;
    };

    // The column named `name`, made when there is none.
    std::size_t columnOf(std::string_view name);
    // The name `name` in m_names, plus one; made, with a column, when there is none.
    std::uint32_t findName(std::string_view name);
    // Column `column`'s "#number", made when there is none. The numbers of a
    // column are tried one after the other, so `number` is at most one past
    // the last one made.
    std::size_t numberedColumn(std::size_t column, std::uint32_t number);
    std::size_t newColumn();
    void giveName(std::size_t column, std::string text, std::size_t hash, std::size_t slot);
    void nameNumberedColumns();
    void appendName(std::string& out, std::size_t column) const;
    // Appends the header's cell for `column`, using `name` for its text where
    // that must be quoted.
    void appendHeaderCell(std::string& out, std::size_t column, std::string& name) const;
    // Appends "#number", as a numbered column's name ends.
    static void appendNumber(std::string& out, std::uint32_t number);
    // Doubles the table of names.
    void growSlots();
    // The place for `hash` in a table of names that does not hold it: the
    // first free one from where its low bits point.
    static std::size_t freePlace(const std::vector<Slot>& slots, std::size_t hash);
    void addCell(std::size_t column, std::string_view text);
    // Turns the row spooled so far as text into cells and their index.
    void indexRow();
    std::size_t freeColumn(std::string_view name);
    void endRow();
    void writeRow(off_t at, off_t& next);
    void writeIndexedRow(off_t cellsAt, std::uint64_t bytes, off_t indexAt, std::uint64_t count,
                         std::size_t& column);
    void writeCommas(std::size_t count);

    Sink& m_sink;
    FormDecoding m_decoding;
    bool m_mail;
    bool m_escape;
    std::vector<Column, HugePageAllocator<Column>> m_columns;
    std::vector<Numbers> m_numbers;
    // Each name is held once. The table finds it by hash, the next free
    // place after a taken one (at most half are taken), so that a form of a
    // million names makes one pass over memory per name rather than the
    // several of a map of nodes. A numbered column's name holds a "#": until
    // a name that does is looked up, numbered columns stay out of the table
    // and have no name of their own; from the first such lookup on, every
    // column has its name in the table.
    std::vector<Name> m_names;
    std::vector<Slot> m_slots;
    bool m_allNamed = false;
    std::uint32_t m_lastName = 0; // the name last looked up, plus one
    std::string m_numbered;       // "NAME#N", kept for its capacity
    // The rows, each after a head, as their text or cell by cell; and apart
    // from them, the index of each row spooled cell by cell, sorted by column.
    SpoolFile m_spool;
    SpoolFile m_index;
    // The row being written.
    std::uint64_t m_row = 0;
    off_t m_rowStart = 0;
    off_t m_indexStart = 0;
    bool m_indexed = false;        // its cells came in another order than their columns
    std::uint64_t m_rowCells = 0;  // cells in its index
    std::size_t m_textColumns = 0; // while not, the columns its text covers
};
