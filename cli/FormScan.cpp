#include "FormScan.h"

#include "ByteScan.h"

#include "convert/FormFieldSplitter.h"
#include "convert/PlainFormSplitter.h"

namespace {

constexpr std::string_view kCharsetName = "_charset_=";
constexpr std::size_t kMaxCharset = 64;

bool isUrlByte(unsigned char c)
{
    return c > ' ' && c != 0x7F;
}

} // namespace

void FormScan::CharsetMatch::byte(char c)
{
    if (capturing) {
        if (value.size() <= kMaxCharset)
            value += c;
    } else if (open && c == kCharsetName[matched]) {
        capturing = ++matched == kCharsetName.size();
    } else {
        open = false;
    }
}

void FormScan::CharsetMatch::end(std::optional<std::string>& found)
{
    if (capturing && !found && value.size() <= kMaxCharset)
        found = value;
    *this = CharsetMatch();
}

void FormScan::feed(std::string_view piece)
{
    for (std::size_t i = 0; i < piece.size(); ++i) {
        const char c = piece[i];
        if (!m_started) {
            if (c == ' ' || c == '\t' || c == '\r' || c == '\n')
                continue;
            m_started = true;
        }
        if (m_pendingCr) {
            m_pendingCr = false;
            if (c == '\n') {
                lineEnd();
                continue;
            }
            lineByte('\r'); // a CR alone is a control byte of the line
        }
        if (c == '\r') {
            m_pendingCr = true;
        } else if (c == '\n') {
            lineEnd();
        } else if (!m_nameOpen && m_lineHead.size() >= 4 && !m_plainMatch.open &&
                   !m_plainMatch.capturing && (m_line >= 2 || !m_url)) {
            // Once the first line is judged, only the starts of lines matter.
            const std::size_t next = piece.find_first_of("\r\n", i);
            i = (next == std::string_view::npos ? piece.size() : next) - 1;
        } else if (m_line == 0 && !m_nameOpen && !m_urlMatch.open && !m_urlMatch.capturing &&
                   isUrlByte(static_cast<unsigned char>(c)) && c != '&') {
            // Within a field of the first line, only its end matters.
            static const ByteScan fieldEnd({'&', 0x7F}, ' ' + 1);
            const std::size_t end = i + 1 + fieldEnd.find(piece.substr(i + 1));
            if (m_lineHead.size() < 4)
                m_lineHead.append(piece.substr(i, std::min<std::size_t>(end - i, 4)));
            i = end - 1;
        } else {
            lineByte(static_cast<unsigned char>(c));
        }
    }
}

void FormScan::lineByte(unsigned char c)
{
    if (m_lineHead.size() < 4)
        m_lineHead += char(c);
    if (!m_inSignature && (m_plainMatch.open || m_plainMatch.capturing))
        m_plainMatch.byte(char(c));
    // The first paragraph has a second line, unless that line is the "-- "
    // that starts a signature (see lineEnd).
    if (m_line == 1 && c != ' ' && c != '\t' &&
        std::string_view("-- ").substr(0, m_lineHead.size()) != m_lineHead)
        m_url = false;
    if (m_line != 0)
        return;
    if (m_nameOpen) {
        if (c == '=' && m_name > 0) {
            m_form = true;
            m_nameOpen = false;
        } else if (PlainFormSplitter::isNameByte(c) && m_name < PlainFormSplitter::kMaxName) {
            ++m_name;
        } else {
            m_nameOpen = false;
        }
    }
    if (!isUrlByte(c))
        m_url = false;
    if (c == '&')
        m_urlMatch.end(m_urlCharset);
    else if (m_urlMatch.open || m_urlMatch.capturing)
        m_urlMatch.byte(char(c));
}

void FormScan::lineEnd()
{
    if (m_line == 0)
        m_urlMatch.end(m_urlCharset);
    if (m_line == 1 && !m_lineHead.empty() && m_lineHead.front() == '-' && m_lineHead != "-- ")
        m_url = false; // "-" or "--" only began like a signature's line
    m_inSignature = m_inSignature || m_lineHead == "-- ";
    m_plainMatch.end(m_plainCharset);
    m_nameOpen = false;
    m_lineHead.clear();
    if (m_line < 2)
        ++m_line;
}

void FormScan::finish()
{
    if (m_pendingCr)
        lineByte('\r');
    if (m_started)
        lineEnd();
}

std::optional<std::string> FormScan::charsetField(FormKind kind) const
{
    const std::optional<std::string>& raw =
        kind == FormKind::UrlEncoded ? m_urlCharset : m_plainCharset;
    if (!raw || kind == FormKind::TextPlain)
        return raw;
    // A browser writes a charset's name as it is, but decode it as any value.
    std::optional<std::string> value;
    FormFieldSplitter splitter([&value](FormField& field) { value = std::move(field.value); },
                               FormDecoding::Standard);
    splitter.feed("c=" + *raw);
    splitter.finish();
    return value;
}
