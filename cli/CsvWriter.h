#pragma once

#include "SubmissionWriter.h"

#include "convert/FormFieldSplitter.h"

#include <unordered_map>
#include <utility>
#include <vector>

// CSV (RFC 4180, CR LF after each row): a header row of "source" and the field
// names in order of first appearance, then one row per submission. A name that
// occurs again in one submission gets the columns "name#2", "name#3" and so
// on. Cells hold the decoded bytes, quoted where they hold a comma, a quote or
// a line break. The header depends on every submission, so the rows of a run
// are held and written by finish().
class CsvWriter : public SubmissionWriter
{
public:
    CsvWriter(Sink sink, FormDecoding decoding);

    void begin(const Submission& submission) override;
    void feed(std::string_view encoded) override;
    void end() override;
    void finish() override;

    // One cell, quoted where needed.
    static std::string cell(std::string_view bytes);

private:
    void add(FormField& field);

    using Row = std::vector<std::pair<std::size_t, std::string>>; // column, cell
    Sink m_sink;
    FormFieldSplitter m_splitter;
    std::vector<std::string> m_columns{"source"};
    std::unordered_map<std::string, std::size_t> m_columnOf; // field columns by their header
    std::vector<Row> m_rows;
    Row m_row;
    std::vector<std::size_t> m_filledBy{0}; // per column: 1 + the last row that filled it
};
