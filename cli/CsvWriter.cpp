#include "CsvWriter.h"

#include "ByteScan.h"
#include "FormFields.h"
#include "Utf8Converter.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <stdexcept>

namespace {

constexpr std::size_t kRowInMemory = 1024 * 1024;
// The address space that the table of columns takes once it needs huge pages.
constexpr std::size_t kHugeTable = 64 * 1024 * 1024;
// Its cells' bytes; the cells in its index, or 0 for a row spooled as its
// text; where its index starts; and the columns its text covers.
constexpr std::size_t kRowHead = 4 * sizeof(std::uint64_t);

std::uint64_t word64(const char* at)
{
    std::uint64_t w;
    std::memcpy(&w, at, sizeof w);
    return w;
}

std::uint64_t word32(const char* at)
{
    std::uint32_t w;
    std::memcpy(&w, at, sizeof w);
    return w;
}

// Whether one of the eight bytes of `word` is a "#".
bool holdsNumberSign(std::uint64_t word)
{
    constexpr std::uint64_t kOnes = 0x0101010101010101;
    const std::uint64_t x = word ^ (kOnes * '#');
    return ((x - kOnes) & ~x & (kOnes << 7)) != 0;
}

struct NameHash
{
    std::size_t hash;
    bool numberSign; // the name holds a "#"
};

// The hash of a name, mostly a short one: eight bytes at a time, each word
// mixed in by a multiplication, and all of it stirred at the end so that the
// low bits depend on every byte. The last one to seven bytes make one word
// (of bytes read twice where there are more than three), which, with the
// length mixed in first, still tells any two names of a length apart.
NameHash hashOf(std::string_view name)
{
    constexpr std::uint64_t kOdd = 0x9E3779B97F4A7C15;
    std::uint64_t h = name.size() * kOdd;
    bool sign = false;
    const char* at = name.data();
    std::size_t left = name.size();
    for (; left >= 8; at += 8, left -= 8) {
        const std::uint64_t w = word64(at);
        sign = sign || holdsNumberSign(w);
        h = (h ^ w) * kOdd;
    }
    if (left > 0) {
        std::uint64_t tail;
        if (left >= 4)
            tail = word32(at) | word32(at + left - 4) << 32;
        else
            tail = std::uint64_t(std::uint8_t(at[0])) |
                   std::uint64_t(std::uint8_t(at[left / 2])) << 8 |
                   std::uint64_t(std::uint8_t(at[left - 1])) << 16;
        sign = sign || holdsNumberSign(tail);
        h = (h ^ tail) * kOdd;
    }
    h ^= h >> 33;
    h *= 0xFF51AFD7ED558CCD;
    h ^= h >> 33;
    h *= 0xC4CEB9FE1A85EC53;
    h ^= h >> 33;
    return {static_cast<std::size_t>(h), sign};
}

// What the table of names keeps of a hash; its place comes from the low bits.
std::uint32_t tagOf(std::size_t hash)
{
    return static_cast<std::uint32_t>(std::uint64_t(hash) >> 32);
}

} // namespace

CsvWriter::CsvWriter(Sink& sink, FormDecoding decoding, bool mail, bool escapeFormulas)
    : m_sink(sink), m_decoding(decoding), m_mail(mail), m_escape(escapeFormulas)
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
    // Forms mostly give their names in the same order, so the name that came
    // after the last one the last time is tried first, without a hash.
    if (m_lastName != 0) {
        const std::uint32_t next = m_names[m_lastName - 1].next;
        if (next != 0 && m_names[next - 1].text == name) {
            m_lastName = next;
            return m_names[next - 1].column;
        }
    }
    const std::uint32_t found = findName(name);
    if (m_lastName != 0)
        m_names[m_lastName - 1].next = found;
    m_lastName = found;
    return m_names[found - 1].column;
}

std::uint32_t CsvWriter::findName(std::string_view name)
{
    const auto [hash, numberSign] = hashOf(name);
    if (!m_allNamed && numberSign)
        nameNumberedColumns();
    if (m_slots.empty())
        m_slots.resize(1024);
    const std::uint32_t tag = tagOf(hash);
    const std::size_t mask = m_slots.size() - 1;
    std::size_t at = hash & mask;
    for (;; at = (at + 1) & mask) {
        const Slot slot = m_slots[at];
        if (slot.name == 0)
            break;
        if (slot.tag == tag && m_names[slot.name - 1].text == name)
            return slot.name;
    }
    giveName(newColumn(), std::string(name), hash, at);
    return static_cast<std::uint32_t>(m_names.size());
}

std::size_t CsvWriter::newColumn()
{
    if (m_columns.size() >= Column::kNumbered - 1)
        throw std::runtime_error("the forms have more than " + std::to_string(m_columns.size()) +
                                 " different field names, more than CSV output can hold");
    // The system clears each page as it is first written, and so clears
    // every block the table has had: growing by halves, twice as much as
    // the table ends with, and the copies go to fresh pages too. So once
    // the table needs huge pages it takes kHugeTable at once, address space
    // of which only the pages written take memory, and grows as a vector
    // does only past that.
    if (m_columns.size() == m_columns.capacity() &&
        (m_columns.size() + 1) * sizeof(Column) >= HugePages::kLeast &&
        m_columns.capacity() * sizeof(Column) < kHugeTable)
        m_columns.reserve(kHugeTable / sizeof(Column));
    m_columns.emplace_back();
    return m_columns.size() - 1;
}

// Enters `text` as the name of `column` at `slot`, a free place in the
// table of names for its hash.
void CsvWriter::giveName(std::size_t column, std::string text, std::size_t hash, std::size_t slot)
{
    std::string cell;
    appendCell(cell, text, m_escape);
    const bool plain = cell == text;
    m_names.push_back({std::move(text), hash, static_cast<std::uint32_t>(column), plain, 0});
    const auto name = static_cast<std::uint32_t>(m_names.size());
    m_columns[column].name = name;
    m_columns[column].numbers = 0;
    m_slots[slot] = {tagOf(hash), name};
    if (m_names.size() * 2 > m_slots.size())
        growSlots();
}

// Gives each numbered column its name in the table. None of these names is
// there yet: they hold a "#", and no name that does was asked for before.
void CsvWriter::nameNumberedColumns()
{
    m_allNamed = true;
    for (std::size_t column = 0; column < m_columns.size(); ++column) {
        if (m_columns[column].named())
            continue;
        std::string text;
        appendName(text, column);
        const std::size_t hash = hashOf(text).hash;
        giveName(column, std::move(text), hash, freePlace(m_slots, hash));
    }
}

std::size_t CsvWriter::numberedColumn(std::size_t column, std::uint32_t number)
{
    const std::size_t list = m_columns[column].numbers - 1;
    if (number - 2 < m_numbers[list].columns.size())
        return m_numbers[list].columns[number - 2];
    std::size_t made;
    if (m_allNamed) {
        // A field may have had this name before the number was needed.
        m_numbered.clear();
        appendName(m_numbered, column);
        appendNumber(m_numbered, number);
        made = columnOf(m_numbered);
    } else {
        made = newColumn();
        m_columns[made].name = Column::kNumbered | static_cast<std::uint32_t>(column);
        m_columns[made].numbers = number;
    }
    m_numbers[list].columns.push_back(static_cast<std::uint32_t>(made));
    return made;
}

void CsvWriter::appendName(std::string& out, std::size_t column) const
{
    const Column& c = m_columns[column];
    if (c.named()) {
        out += m_names[c.name - 1].text;
        return;
    }
    // The column it numbers is one that columnOf() found, which has a name.
    out += m_names[m_columns[c.numbered()].name - 1].text;
    appendNumber(out, c.number());
}

void CsvWriter::appendHeaderCell(std::string& out, std::size_t column, std::string& name) const
{
    const Column& c = m_columns[column];
    const Name& own = m_names[(c.named() ? c.name : m_columns[c.numbered()].name) - 1];
    if (own.plain) {
        out += own.text;
        if (!c.named())
            appendNumber(out, c.number());
        return;
    }
    name.clear();
    appendName(name, column);
    appendCell(out, name, m_escape);
}

void CsvWriter::appendNumber(std::string& out, std::uint32_t number)
{
    char text[16] = {'#'};
    out.append(text, std::to_chars(text + 1, text + sizeof text, number).ptr);
}

std::size_t CsvWriter::freePlace(const std::vector<Slot>& slots, std::size_t hash)
{
    const std::size_t mask = slots.size() - 1;
    std::size_t at = hash & mask;
    while (slots[at].name != 0)
        at = (at + 1) & mask;
    return at;
}

void CsvWriter::growSlots()
{
    std::vector<Slot> slots(m_slots.size() * 2);
    // In the order of the names, which lie in order in memory.
    for (std::size_t name = 0; name < m_names.size(); ++name)
        slots[freePlace(slots, m_names[name].hash)] = {tagOf(m_names[name].hash),
                                                       static_cast<std::uint32_t>(name + 1)};
    m_slots = std::move(slots);
}

// The column of the name itself when the row has no cell there yet, else of
// the first free "name#N". Each name remembers where its search stopped in
// the row, and every try that fails meets a column the row already holds,
// so a row of n fields makes fewer than 2n tries in all.
std::size_t CsvWriter::freeColumn(std::string_view name)
{
    const std::size_t column = columnOf(name);
    if (m_columns[column].usedInRow != m_row) {
        m_columns[column].usedInRow = m_row;
        return column;
    }
    if (m_columns[column].numbers == 0) {
        m_numbers.emplace_back();
        m_columns[column].numbers = static_cast<std::uint32_t>(m_numbers.size());
    }
    const std::size_t list = m_columns[column].numbers - 1;
    if (m_numbers[list].triedInRow != m_row) {
        m_numbers[list].triedInRow = m_row;
        m_numbers[list].next = 2;
    }
    for (;; ++m_numbers[list].next) {
        const std::size_t numbered = numberedColumn(column, m_numbers[list].next);
        if (m_columns[numbered].usedInRow != m_row) {
            m_columns[numbered].usedInRow = m_row;
            ++m_numbers[list].next;
            return numbered;
        }
    }
}

void CsvWriter::addCell(std::size_t column, std::string_view text)
{
    if (!m_indexed && column < m_textColumns)
        indexRow();
    // Written straight into the spool's gathered bytes.
    const off_t at = m_spool.size();
    std::string& out = m_spool.gathered();
    const std::size_t from = out.size();
    if (!m_indexed) {
        // The commas since the last cell, or since the row's start; mostly one.
        const std::size_t commas = column - m_textColumns + (m_textColumns > 0 ? 1 : 0);
        if (commas == 1)
            out += ',';
        else
            out.append(commas, ',');
    }
    appendCell(out, text, m_escape);
    const std::uint64_t length = out.size() - from;
    m_spool.filled();
    if (m_indexed) {
        const CellAt cell{column, static_cast<std::uint64_t>(at - m_rowStart) - kRowHead, length};
        m_index.append(std::string_view(reinterpret_cast<const char*>(&cell), sizeof cell));
        ++m_rowCells;
    } else {
        m_textColumns = column + 1;
    }
}

void CsvWriter::indexRow()
{
    m_indexed = true;
    const off_t cellsAt = m_rowStart + static_cast<off_t>(kRowHead);
    const auto size = static_cast<std::uint64_t>(m_spool.size() - cellsAt);
    std::uint64_t column = 0;
    std::uint64_t start = 0; // where the cell in `column` starts
    const auto endCell = [&](std::uint64_t end) {
        // An empty cell is written as a column without one.
        if (end > start) {
            const CellAt cell{column, start, end - start};
            m_index.append(std::string_view(reinterpret_cast<const char*>(&cell), sizeof cell));
            ++m_rowCells;
        }
    };
    // A comma ends a cell unless it stands between quotes; a quote within
    // quotes is doubled, which leaves the cell between them.
    bool quoted = false;
    std::uint64_t at = 0; // where the piece starts
    m_spool.readPieces(cellsAt, size, [&](std::string_view piece) {
        for (std::size_t i = 0; i < piece.size(); ++i) {
            if (piece[i] == '"') {
                quoted = !quoted;
            } else if (piece[i] == ',' && !quoted) {
                endCell(at + i);
                ++column;
                start = at + i + 1;
            }
        }
        at += piece.size();
    });
    endCell(size);
}

std::optional<std::string> CsvWriter::write(const Submission& submission, FormBody& body)
{
    m_rowStart = m_spool.size();
    m_spool.append(std::string(kRowHead, '\0'));
    m_indexStart = m_index.size();
    m_indexed = false;
    m_rowCells = 0;
    m_textColumns = 0;
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
        const auto note =
            FormFields::read(body, m_decoding, true, [this](const FormFieldView& field) {
                addCell(freeColumn(field.name), field.value);
            });
        endRow();
        return note;
    } catch (...) {
        // A row that cannot be read whole is not written.
        m_spool.truncate(m_rowStart);
        m_index.truncate(m_indexStart);
        throw;
    }
}

void CsvWriter::endRow()
{
    const std::uint64_t cellBytes =
        static_cast<std::uint64_t>(m_spool.size() - m_rowStart) - kRowHead;
    if (m_indexed) {
        std::vector<CellAt> cells(m_rowCells);
        char* bytes = reinterpret_cast<char*>(cells.data());
        m_index.readAt(m_indexStart, bytes, cells.size() * sizeof(CellAt));
        std::sort(cells.begin(), cells.end(),
                  [](const CellAt& a, const CellAt& b) { return a.column < b.column; });
        m_index.patch(m_indexStart, std::string_view(bytes, cells.size() * sizeof(CellAt)));
    }
    const std::uint64_t head[4] = {cellBytes, m_rowCells, static_cast<std::uint64_t>(m_indexStart),
                                   m_textColumns};
    m_spool.patch(m_rowStart, std::string_view(reinterpret_cast<const char*>(head), kRowHead));
}

// Writes the row spooled at `at`, every column in its place, and sets `next`
// to where the next row starts.
void CsvWriter::writeRow(off_t at, off_t& next)
{
    std::uint64_t head[4];
    m_spool.readAt(at, reinterpret_cast<char*>(head), kRowHead);
    const off_t cellsAt = at + static_cast<off_t>(kRowHead);
    next = cellsAt + static_cast<off_t>(head[0]);
    std::size_t column = 0; // the next column to write
    if (head[1] == 0) {
        // Spooled as its text, which lacks only the columns after its last cell.
        m_spool.readPieces(cellsAt, head[0], [this](std::string_view piece) { m_sink(piece); });
        column = head[3];
    } else {
        writeIndexedRow(cellsAt, head[0], static_cast<off_t>(head[2]), head[1], column);
    }
    writeCommas(m_columns.size() - std::min(column, m_columns.size()));
    m_sink("\r\n");
}

// Writes the `count` cells of a row spooled cell by cell, their `bytes` at
// `cellsAt` and their index at `indexAt`, with the commas between them; sets
// `column` to the column after the last.
void CsvWriter::writeIndexedRow(off_t cellsAt, std::uint64_t bytes, off_t indexAt,
                                std::uint64_t count, std::size_t& column)
{
    std::string cells;
    const bool inMemory = bytes <= kRowInMemory;
    if (inMemory) {
        cells.resize(bytes);
        m_spool.readAt(cellsAt, cells.data(), cells.size());
    }
    std::vector<CellAt> index(std::min<std::uint64_t>(count, 4096));
    std::string window;
    std::uint64_t windowAt = 0;
    for (std::uint64_t done = 0; done < count;) {
        const std::size_t read = std::min<std::uint64_t>(index.size(), count - done);
        m_index.readAt(indexAt + static_cast<off_t>(done * sizeof(CellAt)),
                       reinterpret_cast<char*>(index.data()), read * sizeof(CellAt));
        done += read;
        for (std::size_t i = 0; i < read; ++i) {
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
                    window.resize(std::min<std::uint64_t>(kRowInMemory, bytes - c.offset));
                    m_spool.readAt(cellsAt + static_cast<off_t>(windowAt), window.data(),
                                   window.size());
                }
                m_sink(std::string_view(window).substr(c.offset - windowAt, c.length));
                continue;
            }
            m_spool.readPieces(cellsAt + static_cast<off_t>(c.offset), c.length,
                               [this](std::string_view piece) { m_sink(piece); });
        }
    }
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
    std::string name;
    for (std::size_t i = 0; i < m_columns.size(); ++i) {
        if (i > 0)
            header += ',';
        appendHeaderCell(header, i, name);
        if (header.size() >= kPiece) {
            m_sink(header);
            header.clear();
        }
    }
    header += "\r\n";
    m_sink(header);
    for (off_t at = 0; at < m_spool.size();)
        writeRow(at, at);
}
