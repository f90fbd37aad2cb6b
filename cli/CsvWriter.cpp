#include "CsvWriter.h"

#include "FormFields.h"
#include "Utf8Converter.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr std::size_t kRowInMemory = 1024 * 1024;
constexpr std::size_t kRowHead = 2 * sizeof(std::uint64_t); // its cells' bytes, its cell count

} // namespace

CsvWriter::CsvWriter(Sink sink, FormDecoding decoding, bool mail, bool escapeFormulas)
    : m_sink(std::move(sink)), m_decoding(decoding), m_mail(mail), m_escape(escapeFormulas)
{}

std::string CsvWriter::cell(std::string_view text, bool escapeFormula)
{
    std::string plain;
    if (escapeFormula && !text.empty() && std::strchr("=+-@\t\r", text.front())) {
        plain = "'" + std::string(text);
        text = plain;
    }
    if (text.find_first_of(",\"\r\n") == std::string_view::npos)
        return std::string(text);
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    return quoted + '"';
}

// The name itself when the row has no column of that name yet, else the
// first free "name#N". Each name remembers where its search stopped, and
// every try that fails meets a header the row already holds, so a row of
// n fields makes fewer than 2n tries in all.
std::string CsvWriter::freeName(const std::string& name)
{
    if (m_used.insert(name).second)
        return name;
    unsigned& n = m_nextSuffix.try_emplace(name, 2).first->second;
    for (;; ++n) {
        std::string candidate = name + "#" + std::to_string(n);
        if (m_used.insert(candidate).second) {
            ++n;
            return candidate;
        }
    }
}

void CsvWriter::addCell(const std::string& header, std::string_view text)
{
    auto at = m_columnOf.find(header);
    if (at == m_columnOf.end()) {
        at = m_columnOf.emplace(header, m_columns.size()).first;
        m_columns.push_back(header);
    }
    const std::string quoted = cell(text, m_escape);
    const auto offset = static_cast<std::uint64_t>(m_spool.size() - m_rowStart) - kRowHead;
    m_spool.append(quoted);
    m_cells.push_back({at->second, offset, quoted.size()});
}

std::optional<std::string> CsvWriter::write(const Submission& submission, FormBody& body)
{
    m_rowStart = m_spool.size();
    m_spool.append(std::string(kRowHead, '\0'));
    m_cells.clear();
    m_used.clear();
    m_nextSuffix.clear();
    const auto fixed = [this](const std::string& header, const std::optional<std::string>& text) {
        m_used.insert(header);
        addCell(header, text ? Utf8Converter::utf8OrWindows1252(*text) : std::string());
    };
    fixed("source", submission.source);
    if (m_mail) {
        fixed("date", submission.utcDate ? submission.utcDate : submission.date);
        fixed("message_id", submission.messageId);
    }
    try {
        const auto note = FormFields::read(body, m_decoding, true, [this](FormField& field) {
            addCell(freeName(field.name), field.value);
        });
        endRow();
        return note;
    } catch (...) {
        m_spool.truncate(m_rowStart); // a row that cannot be read whole is not written
        throw;
    }
}

void CsvWriter::endRow()
{
    const std::uint64_t cellBytes =
        static_cast<std::uint64_t>(m_spool.size() - m_rowStart) - kRowHead;
    std::sort(m_cells.begin(), m_cells.end(),
              [](const CellAt& a, const CellAt& b) { return a.column < b.column; });
    m_spool.append(std::string_view(reinterpret_cast<const char*>(m_cells.data()),
                                    m_cells.size() * sizeof(CellAt)));
    const std::uint64_t head[2] = {cellBytes, m_cells.size()};
    m_spool.patch(m_rowStart, std::string_view(reinterpret_cast<const char*>(head), kRowHead));
}

// Writes the row spooled at `at`, every column in its place, and sets `next`
// to where the next row starts.
void CsvWriter::writeRow(off_t at, off_t& next)
{
    std::uint64_t head[2];
    m_spool.readAt(at, reinterpret_cast<char*>(head), kRowHead);
    const off_t cellsAt = at + static_cast<off_t>(kRowHead);
    const off_t indexAt = cellsAt + static_cast<off_t>(head[0]);
    next = indexAt + static_cast<off_t>(head[1] * sizeof(CellAt));
    std::string cells;
    const bool inMemory = head[0] <= kRowInMemory;
    if (inMemory) {
        cells.resize(head[0]);
        m_spool.readAt(cellsAt, cells.data(), cells.size());
    }
    std::vector<CellAt> index(std::min<std::uint64_t>(head[1], 4096));
    std::string chunk;
    std::size_t column = 0; // the next column to write
    for (std::uint64_t done = 0; done < head[1];) {
        const std::size_t count = std::min<std::uint64_t>(index.size(), head[1] - done);
        m_spool.readAt(indexAt + static_cast<off_t>(done * sizeof(CellAt)),
                       reinterpret_cast<char*>(index.data()), count * sizeof(CellAt));
        done += count;
        for (std::size_t i = 0; i < count; ++i) {
            const CellAt& c = index[i];
            m_sink(std::string(c.column - column + (column > 0 ? 1 : 0), ','));
            column = c.column + 1;
            if (inMemory) {
                m_sink(std::string_view(cells).substr(c.offset, c.length));
                continue;
            }
            for (std::uint64_t from = 0; from < c.length;) {
                chunk.resize(std::min<std::uint64_t>(c.length - from, 64 * 1024));
                m_spool.readAt(cellsAt + static_cast<off_t>(c.offset + from), chunk.data(),
                               chunk.size());
                m_sink(chunk);
                from += chunk.size();
            }
        }
    }
    m_sink(std::string(m_columns.size() - std::min(column, m_columns.size()) -
                           (column == 0 && !m_columns.empty() ? 1 : 0),
                       ','));
    m_sink("\r\n");
}

void CsvWriter::finish()
{
    std::string header;
    for (std::size_t i = 0; i < m_columns.size(); ++i)
        header += (i > 0 ? "," : "") + cell(m_columns[i], m_escape);
    m_sink(header + "\r\n");
    for (off_t at = 0; at < m_spool.size();)
        writeRow(at, at);
}
