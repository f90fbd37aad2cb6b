#include "CsvWriter.h"

CsvWriter::CsvWriter(Sink sink, FormDecoding decoding)
    : m_sink(std::move(sink)), m_splitter([this](FormField& field) { add(field); }, decoding)
{}

std::string CsvWriter::cell(std::string_view bytes)
{
    if (bytes.find_first_of(",\"\r\n") == std::string_view::npos)
        return std::string(bytes);
    std::string quoted = "\"";
    for (const char c : bytes) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    return quoted + '"';
}

void CsvWriter::begin(const Submission& submission)
{
    m_row = {{0, submission.source}};
}

void CsvWriter::feed(std::string_view encoded)
{
    m_splitter.feed(encoded);
}

void CsvWriter::add(FormField& field)
{
    // The first header for this name that the row has not filled yet, so that
    // a field is never lost, even beside a field named like "a#2".
    const std::size_t rowMark = m_rows.size() + 1;
    std::string header = field.name;
    for (int n = 2;; ++n) {
        auto at = m_columnOf.find(header);
        if (at == m_columnOf.end()) {
            at = m_columnOf.emplace(header, m_columns.size()).first;
            m_columns.push_back(std::move(header));
            m_filledBy.push_back(0);
        }
        if (m_filledBy[at->second] != rowMark) {
            m_filledBy[at->second] = rowMark;
            m_row.emplace_back(at->second, std::move(field.value));
            return;
        }
        header = field.name + "#" + std::to_string(n);
    }
}

void CsvWriter::end()
{
    m_splitter.finish();
    m_rows.push_back(std::move(m_row));
    m_row.clear();
}

void CsvWriter::finish()
{
    auto writeRow = [this](const std::vector<const std::string*>& cells) {
        std::string line;
        for (std::size_t i = 0; i < cells.size(); ++i) {
            if (i > 0)
                line += ',';
            if (cells[i])
                line += cell(*cells[i]);
        }
        m_sink(line + "\r\n");
    };
    std::vector<const std::string*> cells;
    for (const std::string& column : m_columns)
        cells.push_back(&column);
    writeRow(cells);
    for (const Row& row : m_rows) {
        cells.assign(m_columns.size(), nullptr);
        for (const auto& [column, text] : row)
            cells[column] = &text;
        writeRow(cells);
    }
}
