#include "PaneCodec.h"

#include <QStringDecoder>

namespace {

// Bytes 0x80 to 0x9F of Windows-1252. Its five undefined bytes stand for the
// C1 controls of the same value, so that every byte has a character.
constexpr char16_t kHigh1252[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char unicodeToWindows1252(char16_t ch)
{
    if (ch < 0x80 || (ch >= 0xA0 && ch <= 0xFF))
        return static_cast<char>(ch);
    for (int i = 0; i < 32; ++i) {
        if (kHigh1252[i] == ch)
            return static_cast<char>(0x80 + i);
    }
    return '?'; // the code page cannot hold it
}

void appendUtf8(std::string& out, char32_t cp)
{
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Replaces the line breaks of `text` by U+2029, and lone CRs by their symbol.
void markLineBreaks(QString& text)
{
    QChar* d = text.data();
    qsizetype out = 0;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t ch = d[i].unicode();
        if (ch == u'\r' && i + 1 < n && d[i + 1] == u'\n') {
            d[out++] = QChar(PaneCodec::kParagraph);
            ++i;
        } else if (ch == u'\n') {
            d[out++] = QChar(PaneCodec::kParagraph);
        } else if (ch == u'\r') {
            d[out++] = QChar(PaneCodec::kLoneCrSymbol);
        } else {
            d[out++] = d[i];
        }
    }
    text.truncate(out);
}

} // namespace

char16_t PaneCodec::windows1252ToUnicode(unsigned char byte)
{
    return byte >= 0x80 && byte < 0xA0 ? kHigh1252[byte - 0x80] : char16_t(byte);
}

QString PaneCodec::toPaneText(std::string_view bytes, Format& format)
{
    format = Format{};
    bool anyLf = false, anyCrLf = false, anyLoneCr = false;
    for (std::size_t i = bytes.find_first_of("\r\n"); i != std::string_view::npos;
         i = bytes.find_first_of("\r\n", i + 1)) {
        if (bytes[i] == '\n') {
            anyLf = true;
        } else if (i + 1 < bytes.size() && bytes[i + 1] == '\n') {
            anyCrLf = true;
            ++i;
        } else {
            anyLoneCr = true;
        }
    }
    format.lfOnly = anyLf && !anyCrLf;
    format.loneCrs = anyLoneCr;

    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(QByteArrayView(bytes.data(), qsizetype(bytes.size())));
    bool usable = !utf8.hasError();
    // QTextDocument turns the frame marks into paragraph breaks; the other
    // characters that would not read back as the same bytes are caught below.
    if (usable)
        usable = !text.contains(QChar(0xFDD0)) && !text.contains(QChar(0xFDD1));
    if (usable) {
        markLineBreaks(text);
        if (toBytes(text, format) == bytes)
            return text; // Windows-1252 below always reads back the same

    }

    format.encoding = Encoding::Windows1252;
    text.resize(qsizetype(bytes.size()));
    QChar* d = text.data();
    for (std::size_t i = 0; i < bytes.size(); ++i)
        d[i] = QChar(windows1252ToUnicode(static_cast<unsigned char>(bytes[i])));
    markLineBreaks(text);
    return text;
}

std::string PaneCodec::toBytes(QStringView raw, const Format& format)
{
    std::string out;
    out.reserve(std::size_t(raw.size()) + std::size_t(raw.size()) / 8);
    const bool utf8 = format.encoding == Encoding::Utf8;
    const qsizetype n = raw.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t ch = raw[i].unicode();
        if (ch == kParagraph) {
            if (!format.lfOnly)
                out += '\r';
            out += '\n';
        } else if (ch == kLoneCrSymbol && format.loneCrs) {
            out += '\r';
        } else if (QChar::isHighSurrogate(ch) && i + 1 < n && QChar::isLowSurrogate(raw[i + 1].unicode())) {
            const char32_t cp = QChar::surrogateToUcs4(ch, raw[i + 1].unicode());
            ++i;
            if (utf8)
                appendUtf8(out, cp);
            else
                out += '?';
        } else if (utf8) {
            appendUtf8(out, QChar::isSurrogate(ch) ? char32_t(0xFFFD) : char32_t(ch));
        } else {
            out += unicodeToWindows1252(ch);
        }
    }
    return out;
}
