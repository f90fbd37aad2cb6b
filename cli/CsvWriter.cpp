#include "CsvWriter.h"

#include "ByteScan.h"
#include "FormFields.h"
#include "Utf8Converter.h"

#include <algorithm>
#include <functional>
#include <limits>
#include <stdexcept>

namespace {

constexpr std::size_t kRowInMemory = 1024 * 1024;
constexpr std::size_t kRowHead = 2 * sizeof(std::uint64_t); // its cells' bytes, its cell count

// What the table of names keeps of a hash; its place comes from the low bits.
std::uint32_t tagOf(std::size_t hash)
{
    return static_cast<std::uint32_t>(std::uint64_t(hash) >> 32);
}

} // namespace

CsvWriter::CsvWriter(Sink sink, FormDecoding decoding, bool mail, bool escapeFormulas)
    : m_sink(std::move(sink)), m_decoding(decoding), m_mail(mail), m_escape(escapeFormulas)
{}

void CsvWriter::appendCell(std::string& out, std::string_view text, bool escapeFormula)
{
    static const ByteScan special({',', '"', '\r', '\n'});
    const bool formula = escapeFormula && !text.empty() &&
                         std::string_view("=+-@\t\r").find(text.front()) != std::string_view::npos;
    std::size_t at = special.find(text);
    if (at == text.size()) {
        if (formula)
            out += '\'';
        out += text;
        return;
    }
    out += formula ? "\"'" : "\"";
    for (;;) {
        // The runs between quotes whole; each quote doubled.
        const std::size_t quote = text.find('"', at);
        if (quote == std::string_view::npos)
            break;
        out.append(text.data(), quote + 1);
        out += '"';
        text.remove_prefix(quote + 1);
        at = 0;
    }
    out += text;
    out += '"';
}

std::size_t CsvWriter::columnOf(std::string_view name)
{
    if (m_slots.empty())
        m_slots.resize(1024);
    const std::size_t hash = std::hash<std::string_view>{}(name);
    const std::uint32_t tag = tagOf(hash);
    const std::size_t mask = m_slots.size() - 1;
    std::size_t at = hash & mask;
    for (;; at = (at + 1) & mask) {
        const Slot slot = m_slots[at];
        if (slot.column == 0)
            break;
        if (slot.tag == tag && m_columns[slot.column - 1].name == name)
            return slot.column - 1;
    }
    if (m_columns.size() >= std::numeric_limits<std::uint32_t>::max() - 1)
        throw std::runtime_error("the forms have more than " + std::to_string(m_columns.size()) +
                                 " different field names, more than CSV output can hold");
    m_columns.push_back({std::string(name), hash});
    m_slots[at] = {tag, static_cast<std::uint32_t>(m_columns.size())};
    if (m_columns.size() * 2 > m_slots.size())
        growSlots();
    return m_columns.size() - 1;
}

void CsvWriter::growSlots()
{
    std::vector<Slot> slots(m_slots.size() * 2);
    const std::size_t mask = slots.size() - 1;
    // In the order of the columns, which lie in order in memory.
    for (std::size_t column = 0; column < m_columns.size(); ++column) {
        const std::size_t hash = m_columns[column].hash;
        std::size_t at = hash & mask;
        while (slots[at].column != 0)
            at = (at + 1) & mask;
        slots[at] = {tagOf(hash), static_cast<std::uint32_t>(column + 1)};
    }
    m_slots = std::move(slots);
}

// The column of the name itself when the row has no cell there yet, else of
// the first free "name#N". Each name remembers where its search stopped in
// the row, and every try that fails meets a column the row already holds,
// so a row of n fields makes fewer than 2n tries in all.
std::size_t CsvWriter::freeColumn(const std::string& name)
{
    std::size_t column = columnOf(name);
    if (m_columns[column].usedInRow != m_row) {
        m_columns[column].usedInRow = m_row;
        return column;
    }
    Column& named = m_columns[column]; // does not move while others are made
    if (named.triedInRow != m_row) {
        named.triedInRow = m_row;
        named.nextSuffix = 2;
    }
    for (;; ++named.nextSuffix) {
        m_suffixed.assign(name).append(1, '#').append(std::to_string(named.nextSuffix));
        column = columnOf(m_suffixed);
        if (m_columns[column].usedInRow != m_row) {
            m_columns[column].usedInRow = m_row;
            ++named.nextSuffix;
            return column;
        }
    }
}

void CsvWriter::addCell(std::size_t column, std::string_view text)
{
    m_cell.clear();
    appendCell(m_cell, text, m_escape);
    const auto offset = static_cast<std::uint64_t>(m_spool.size() - m_rowStart) - kRowHead;
    m_spool.append(m_cell);
    m_cells.push_back({column, offset, m_cell.size()});
}

std::optional<std::string> CsvWriter::write(const Submission& submission, FormBody& body)
{
    m_rowStart = m_spool.size();
    m_spool.append(std::string(kRowHead, '\0'));
    m_cells.clear();
    ++m_row;
    const auto fixed = [this](std::string_view header, const std::optional<std::string>& text) {
        const std::size_t column = columnOf(header);
        m_columns[column].usedInRow = m_row;
        addCell(column, text ? Utf8Converter::utf8OrWindows1252(*text) : std::string());
    };
    fixed("source", submission.source);
    if (m_mail) {
        fixed("date", submission.utcDate ? submission.utcDate : submission.date);
        fixed("message_id", submission.messageId);
    }
    try {
        const auto note = FormFields::read(body, m_decoding, true, [this](FormField& field) {
            addCell(freeColumn(field.name), field.value);
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
    std::string chunk, window;
    std::uint64_t windowAt = 0;
    std::size_t column = 0; // the next column to write
    for (std::uint64_t done = 0; done < head[1];) {
        const std::size_t count = std::min<std::uint64_t>(index.size(), head[1] - done);
        m_spool.readAt(indexAt + static_cast<off_t>(done * sizeof(CellAt)),
                       reinterpret_cast<char*>(index.data()), count * sizeof(CellAt));
        done += count;
        for (std::size_t i = 0; i < count; ++i) {
            const CellAt& c = index[i];
            writeCommas(c.column - column + (column > 0 ? 1 : 0));
            column = c.column + 1;
            if (inMemory) {
                m_sink(std::string_view(cells).substr(c.offset, c.length));
                continue;
            }
            // Columns mostly follow the order in which the fields came, so
            // a window read ahead serves the cells after this one too.
            if (c.length <= kRowInMemory) {
                if (c.offset < windowAt || c.offset + c.length > windowAt + window.size()) {
                    windowAt = c.offset;
                    window.resize(std::min<std::uint64_t>(kRowInMemory, head[0] - c.offset));
                    m_spool.readAt(cellsAt + static_cast<off_t>(windowAt), window.data(),
                                   window.size());
                }
                m_sink(std::string_view(window).substr(c.offset - windowAt, c.length));
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
    writeCommas(m_columns.size() - std::min(column, m_columns.size()) -
                (column == 0 && !m_columns.empty() ? 1 : 0));
    m_sink("\r\n");
}

void CsvWriter::writeCommas(std::size_t count)
{
    static const std::string kCommas(256, ',');
    for (; count > kCommas.size(); count -= kCommas.size())
        m_sink(kCommas);
    m_sink(std::string_view(kCommas).substr(0, count));
}

void CsvWriter::finish()
{
    // The header goes out in pieces, as a form may have many thousand names.
    std::string header;
    for (std::size_t i = 0; i < m_columns.size(); ++i) {
        if (i > 0)
            header += ',';
        appendCell(header, m_columns[i].name, m_escape);
        if (header.size() >= 64 * 1024) {
            m_sink(header);
            header.clear();
        }
    }
    header += "\r\n";
    m_sink(header);
    for (off_t at = 0; at < m_spool.size();)
        writeRow(at, at);
}
