#include "PaneCodec.h"

#include <QStringDecoder>

#include <cstring>

namespace {

// Bytes 0x80 to 0x9F of Windows-1252. Its five undefined bytes stand for the
// C1 controls of the same value, so that every byte has a character.
constexpr char16_t kHigh1252[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

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

// Writes the UTF-8 form of `cp` to `out`; returns the number of bytes.
int utf8(char32_t cp, char* out)
{
    if (cp < 0x80) {
        out[0] = static_cast<char>(cp);
        return 1;
    }
    if (cp < 0x800) {
        out[0] = static_cast<char>(0xC0 | (cp >> 6));
        out[1] = static_cast<char>(0x80 | (cp & 0x3F));
        return 2;
    }
    if (cp < 0x10000) {
        out[0] = static_cast<char>(0xE0 | (cp >> 12));
        out[1] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out[2] = static_cast<char>(0x80 | (cp & 0x3F));
        return 3;
    }
    out[0] = static_cast<char>(0xF0 | (cp >> 18));
    out[1] = static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out[2] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out[3] = static_cast<char>(0x80 | (cp & 0x3F));
    return 4;
}

// Hands the bytes of the raw pane text `raw` to `put` (a const char* and a
// length) a few at a time, stopping early when `put` returns false. Returns
// false when it stopped early.
template <typename Put> bool encode(QStringView raw, const PaneCodec::Format& format, Put put)
{
    const bool asUtf8 = format.encoding == PaneCodec::Encoding::Utf8;
    const qsizetype n = raw.size();
    char bytes[4];
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t ch = raw[i].unicode();
        int length = 1;
        if (ch < 0x80) {
            bytes[0] = static_cast<char>(ch); // the common case first
        } else if (ch == PaneCodec::kParagraph) {
            if (format.lfOnly) {
                bytes[0] = '\n';
            } else {
                bytes[0] = '\r';
                bytes[1] = '\n';
                length = 2;
            }
        } else if (ch == PaneCodec::kLoneCrSymbol && format.loneCrs) {
            bytes[0] = '\r';
        } else if (QChar::isHighSurrogate(ch) && i + 1 < n &&
                   QChar::isLowSurrogate(raw[i + 1].unicode())) {
            const char32_t cp = QChar::surrogateToUcs4(ch, raw[i + 1].unicode());
            ++i;
            if (asUtf8)
                length = utf8(cp, bytes);
            else
                bytes[0] = '?';
        } else if (asUtf8) {
            length = utf8(QChar::isSurrogate(ch) ? char32_t(0xFFFD) : char32_t(ch), bytes);
        } else {
            bytes[0] = unicodeToWindows1252(ch);
        }
        if (!put(bytes, length))
            return false;
    }
    return true;
}

// Whether `text` gives back exactly `bytes`, found without building a copy.
bool readsBack(QStringView text, const PaneCodec::Format& format, std::string_view bytes)
{
    std::size_t at = 0;
    const bool same = encode(text, format, [&](const char* b, int length) {
        const auto count = static_cast<std::size_t>(length);
        if (bytes.size() - at < count || std::memcmp(bytes.data() + at, b, count) != 0)
            return false;
        at += count;
        return true;
    });
    return same && at == bytes.size();
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
        if (readsBack(text, format, bytes))
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
    encode(raw, format, [&out](const char* bytes, int length) {
        if (length == 1)
            out.push_back(bytes[0]);
        else
            out.append(bytes, static_cast<std::size_t>(length));
        return true;
    });
    return out;
}
