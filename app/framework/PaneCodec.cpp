#include "PaneCodec.h"

#include "PaneCapacity.h"
#include "convert/EncodeUtf8.h"
#include "convert/Windows1252.h"

#include <QStringDecoder>

#include <cstring>
#include <optional>

namespace {

char unicodeToWindows1252(char16_t ch)
{
    if (ch < 0x80 || (ch >= 0xA0 && ch <= 0xFF))
        return static_cast<char>(ch);
    for (int i = 0; i < 32; ++i) {
        if (kWindows1252High[i] == ch)
            return static_cast<char>(0x80 + i);
    }
    return '?'; // the code page cannot hold it
}

// Writes the bytes of `cp` in the pane's encoding to `out`; returns how many.
int encodeChar(char32_t cp, bool asUtf8, char* out)
{
    if (asUtf8)
        return EncodeUtf8(cp, out);
    out[0] = cp > 0xFFFF ? '?' : unicodeToWindows1252(static_cast<char16_t>(cp));
    return 1;
}

// The character of the text itself that a mark stands for, if any.
char16_t markedCharacter(PaneCodec::Mark mark)
{
    switch (mark) {
    case PaneCodec::Mark::ParagraphSeparator:
        return PaneCodec::kParagraph;
    case PaneCodec::Mark::FrameStart:
        return 0xFDD0;
    case PaneCodec::Mark::FrameEnd:
        return 0xFDD1;
    case PaneCodec::Mark::CrSymbol:
        return PaneCodec::kLoneCrSymbol;
    case PaneCodec::Mark::LineSeparator:
        return PaneCodec::kLineSeparator;
    default:
        return 0;
    }
}

// Walks the pane text `raw`, handing each character to `plain` (a char32_t,
// with surrogate pairs joined) and each U+2029, U+2028 and U+240D to
// `special` with what it stands for. Stops early, returning false, when either returns
// false.
template <typename Plain, typename Special>
bool walk(QStringView raw, const PaneCodec::Format& format, const PaneCodec::Marks& marks,
          Plain plain, Special special)
{
    auto next = marks.begin();
    const qsizetype n = raw.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t ch = raw[i].unicode();
        if (ch < 0x80) {
            if (!plain(char32_t(ch)))
                return false;
        } else if (ch == PaneCodec::kParagraph || ch == PaneCodec::kLineSeparator ||
                   ch == PaneCodec::kLoneCrSymbol) {
            while (next != marks.end() && next->position < i)
                ++next;
            const bool hasMark = next != marks.end() && next->position == i;
            PaneCodec::Mark mark;
            if (ch != PaneCodec::kLoneCrSymbol)
                mark = hasMark ? next->mark : PaneCodec::convention(format);
            else
                mark = hasMark ? PaneCodec::Mark::CrSymbol : PaneCodec::Mark::LoneCr;
            if (!special(mark))
                return false;
        } else if (QChar::isHighSurrogate(ch) && i + 1 < n &&
                   QChar::isLowSurrogate(raw[i + 1].unicode())) {
            if (!plain(QChar::surrogateToUcs4(ch, raw[i + 1].unicode())))
                return false;
            ++i;
        } else if (!plain(QChar::isSurrogate(ch) ? char32_t(0xFFFD) : char32_t(ch))) {
            return false;
        }
    }
    return true;
}

// Hands the bytes of the pane text `raw` to `put` (a const char* and a
// length) a few at a time, stopping early when `put` returns false. Returns
// false when it stopped early.
template <typename Put>
bool encode(QStringView raw, const PaneCodec::Format& format, const PaneCodec::Marks& marks,
            Put put)
{
    const bool asUtf8 = format.encoding == PaneCodec::Encoding::Utf8;
    char bytes[4];
    return walk(
        raw, format, marks,
        [&](char32_t cp) {
            if (cp < 0x80) {
                bytes[0] = static_cast<char>(cp); // the common case first
                return put(bytes, 1);
            }
            return put(bytes, encodeChar(cp, asUtf8, bytes));
        },
        [&](PaneCodec::Mark mark) {
            switch (mark) {
            case PaneCodec::Mark::CrLf:
                return put("\r\n", 2);
            case PaneCodec::Mark::Lf:
                return put("\n", 1);
            case PaneCodec::Mark::LoneCr:
                return put("\r", 1);
            case PaneCodec::Mark::Cut:
                return true;
            default:
                return put(bytes, encodeChar(markedCharacter(mark), asUtf8, bytes));
            }
        });
}

// Whether `text` gives back exactly `bytes`, found without building a copy.
bool readsBack(QStringView text, const PaneCodec::Format& format, const PaneCodec::Marks& marks,
               std::string_view bytes)
{
    std::size_t at = 0;
    const bool same = encode(text, format, marks, [&](const char* b, int length) {
        const auto count = static_cast<std::size_t>(length);
        if (bytes.size() - at < count || std::memcmp(bytes.data() + at, b, count) != 0)
            return false;
        at += count;
        return true;
    });
    return same && at == bytes.size();
}

// Replaces every line break of `text` by U+2029 and every lone CR by its
// symbol, and lists in `marks` what the exceptions stand for. A break of the
// kind `convention` gets no mark; without a convention every break gets one.
void markLineBreaks(QString& text, std::optional<PaneCodec::Mark> convention,
                    PaneCodec::Marks& marks)
{
    using Mark = PaneCodec::Mark;
    QChar* d = text.data();
    qsizetype out = 0;
    const qsizetype n = text.size();
    const auto lineBreak = [&](Mark kind) {
        if (kind != convention)
            marks.push_back({out, kind});
        d[out++] = QChar(PaneCodec::kParagraph);
    };
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t ch = d[i].unicode();
        if (ch == u'\r' && i + 1 < n && d[i + 1] == u'\n') {
            lineBreak(Mark::CrLf);
            ++i;
        } else if (ch == u'\n') {
            lineBreak(Mark::Lf);
        } else if (ch == u'\r') {
            d[out++] = QChar(PaneCodec::kLoneCrSymbol);
        } else if (ch == PaneCodec::kLoneCrSymbol) {
            marks.push_back({out, Mark::CrSymbol});
            d[out++] = QChar(PaneCodec::kLoneCrSymbol);
        } else if (ch == PaneCodec::kParagraph) {
            marks.push_back({out, Mark::ParagraphSeparator});
            d[out++] = QChar(PaneCodec::kParagraph);
        } else if (ch == PaneCodec::kLineSeparator) {
            marks.push_back({out, Mark::LineSeparator});
            d[out++] = QChar(PaneCodec::kLineSeparator);
        } else if (ch == 0xFDD0 || ch == 0xFDD1) {
            marks.push_back({out, ch == 0xFDD0 ? Mark::FrameStart : Mark::FrameEnd});
            d[out++] = QChar(PaneCodec::kParagraph);
        } else {
            d[out++] = d[i];
        }
    }
    text.truncate(out);
}

// The code point that starts at text[i], surrogate pairs joined.
char32_t codePointAt(QStringView text, qsizetype i)
{
    const char16_t ch = text[i].unicode();
    if (QChar::isHighSurrogate(ch) && i + 1 < text.size() &&
        QChar::isLowSurrogate(text[i + 1].unicode()))
        return QChar::surrogateToUcs4(ch, text[i + 1].unicode());
    return ch;
}

// The code point that ends just before text[i].
char32_t codePointBefore(QStringView text, qsizetype i)
{
    const char16_t ch = text[i - 1].unicode();
    if (QChar::isLowSurrogate(ch) && i >= 2 && QChar::isHighSurrogate(text[i - 2].unicode()))
        return QChar::surrogateToUcs4(text[i - 2].unicode(), ch);
    return ch;
}

bool isMark(char32_t cp)
{
    const QChar::Category category = QChar::category(cp);
    return category == QChar::Mark_NonSpacing || category == QChar::Mark_SpacingCombining ||
           category == QChar::Mark_Enclosing;
}

// Whether a block may not start just before `cp`, with `before` ending the
// block before: inside a character, between a letter and its marks, after a
// virama (which joins letters into one), at a joiner, inside a Hangul
// syllable (its vowels and finals join the letters before them), an emoji
// with its skin tone or tags, or a flag.
bool holdsTogether(char16_t unit, char32_t before, char32_t cp)
{
    const auto joiner = [](char32_t c) { return c == 0x200C || c == 0x200D; };
    const auto regional = [](char32_t c) { return c >= 0x1F1E6 && c <= 0x1F1FF; };
    return QChar::isLowSurrogate(unit) || isMark(cp) || QChar::combiningClass(before) == 9 ||
           joiner(cp) || joiner(before) || (cp >= 0x1160 && cp <= 0x11FF) ||
           (cp >= 0xD7B0 && cp <= 0xD7FF) || (cp >= 0x1F3FB && cp <= 0x1F3FF) ||
           (cp >= 0xE0020 && cp <= 0xE007F) || (regional(cp) && regional(before));
}

// Where to cut a long line, at a position in (`lo`, `hi`] of `line`: before
// a letter that reads in the line's direction, so that the next block reads
// as the line does; by preference just after an "&", where a form's next
// field starts, or else after a space or a sign, where letters that join
// (Arabic) stay joined; never where holdsTogether() says no, but for a line
// with no other place.
qsizetype cutPosition(QStringView line, qsizetype lo, qsizetype hi, bool rightToLeft)
{
    qsizetype afterSign = -1, beforeLetter = -1, between = -1;
    for (qsizetype p = hi; p > lo; --p) {
        const char32_t cp = codePointAt(line, p), before = codePointBefore(line, p);
        if (holdsTogether(line[p].unicode(), before, cp))
            continue;
        if (between < 0)
            between = p;
        const QChar::Direction direction = QChar::direction(cp);
        const bool ownLetter = rightToLeft ? direction == QChar::DirR || direction == QChar::DirAL
                                           : direction == QChar::DirL;
        if (!ownLetter)
            continue;
        if (before == u'&')
            return p;
        if (afterSign < 0 && !QChar::isLetterOrNumber(before))
            afterSign = p;
        if (beforeLetter < 0)
            beforeLetter = p;
    }
    for (const qsizetype p : {afterSign, beforeLetter, between})
        if (p >= 0)
            return p;
    return QChar::isLowSurrogate(line[hi].unicode()) ? hi - 1 : hi;
}

} // namespace

QString PaneCodec::toPaneText(std::string_view bytes, Format& format, Marks& marks)
{
    format = Format{};
    marks.clear();
    bool anyLf = false, anyCrLf = false;
    for (std::size_t i = bytes.find('\n'); i != std::string_view::npos;
         i = bytes.find('\n', i + 1)) {
        if (i > 0 && bytes[i - 1] == '\r')
            anyCrLf = true;
        else
            anyLf = true;
        if (anyCrLf && anyLf)
            break;
    }
    format.lfOnly = anyLf && !anyCrLf;

    // A byte-order mark stays in the text as U+FEFF, so that it is written
    // back.
    QStringDecoder utf8(QStringDecoder::Utf8,
                        QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    QString text = utf8.decode(QByteArrayView(bytes.data(), qsizetype(bytes.size())));
    if (!utf8.hasError()) {
        markLineBreaks(text, convention(format), marks);
        // Every valid UTF-8 text reads back the same; this only guards
        // against a decoder that would accept something it should not.
        if (readsBack(text, format, marks, bytes))
            return text;
        marks.clear();
    }

    format.encoding = Encoding::Windows1252;
    text.resize(qsizetype(bytes.size()));
    QChar* d = text.data();
    for (std::size_t i = 0; i < bytes.size(); ++i)
        d[i] = QChar(windows1252ToUnicode(static_cast<unsigned char>(bytes[i])));
    markLineBreaks(text, convention(format), marks);
    return text;
}

std::string PaneCodec::toBytes(QStringView raw, const Format& format, const Marks& marks)
{
    std::string out;
    out.reserve(std::size_t(raw.size()) + std::size_t(raw.size()) / 8);
    encode(raw, format, marks, [&out](const char* bytes, int length) {
        if (length == 1)
            out.push_back(bytes[0]);
        else
            out.append(bytes, static_cast<std::size_t>(length));
        return true;
    });
    return out;
}

QString PaneCodec::toClipboardText(QStringView raw, const Format& format, const Marks& marks,
                                   Breaks breaks)
{
    const bool lfOnly = breaks == Breaks::Lf;
    QString out;
    out.reserve(raw.size() + raw.size() / 16);
    walk(
        raw, format, marks,
        [&out](char32_t cp) {
            if (cp > 0xFFFF) {
                out.append(QChar(QChar::highSurrogate(cp)));
                out.append(QChar(QChar::lowSurrogate(cp)));
            } else {
                out.append(QChar(static_cast<char16_t>(cp)));
            }
            return true;
        },
        [&out, lfOnly](Mark mark) {
            if (mark == Mark::CrLf && !lfOnly)
                out.append(QLatin1String("\r\n"));
            else if (mark == Mark::CrLf || mark == Mark::Lf)
                out.append(QLatin1Char('\n'));
            else if (mark == Mark::LoneCr)
                out.append(QLatin1Char('\r'));
            else if (mark != Mark::Cut)
                out.append(QChar(markedCharacter(mark)));
            return true;
        });
    return out;
}

QString PaneCodec::fromClipboardText(QStringView text, Marks& marks)
{
    marks.clear();
    QString pane = text.toString();
    markLineBreaks(pane, std::nullopt, marks);
    return pane;
}

qsizetype PaneCodec::firstUnencodable(QStringView text, Encoding encoding)
{
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t ch = text[i].unicode();
        if (ch < 0x80)
            continue;
        if (encoding == Encoding::Utf8) {
            if (QChar::isHighSurrogate(ch) && i + 1 < n &&
                QChar::isLowSurrogate(text[i + 1].unicode()))
                ++i;
            else if (QChar::isSurrogate(ch))
                return i;
        } else if (unicodeToWindows1252(ch) == '?') {
            return i;
        }
    }
    return -1;
}

char16_t PaneCodec::windows1252ToUnicode(unsigned char byte)
{
    return Windows1252ToUnicode(byte);
}

void PaneCodec::toBlocks(QString& text, Marks& marks, bool cutLongLines)
{
    // A long line is cut into blocks of kBlockLength or less, each cut where
    // cutPosition() finds best in the block's last quarter.
    constexpr qsizetype kCutWindow = kBlockLength / 4;
    std::vector<qsizetype> cuts; // a cut goes before text[at]
    qsizetype blockLength = 0;   // the characters of the block being filled
    bool blockRightToLeft = false, blockFull = false;
    for (qsizetype lineStart = 0;;) {
        const qsizetype found = text.indexOf(QChar(kParagraph), lineStart);
        const qsizetype lineEnd = found < 0 ? text.size() : found;
        const QStringView line = QStringView(text).mid(lineStart, lineEnd - lineStart);
        // A line with no letter of either direction reads left to right
        // alone, but not in a block begun by a right-to-left line.
        const bool rightToLeft = line.isRightToLeft();
        const bool cut = cutLongLines && line.size() >= PaneCapacity::kLongLine;
        // The break before a line that joins the block is a U+2028.
        if (lineStart > 0 && !cut && !blockFull && rightToLeft == blockRightToLeft &&
            blockLength + 1 + line.size() <= kBlockLength) {
            text[lineStart - 1] = QChar(kLineSeparator);
            blockLength += 1 + line.size();
        } else {
            blockLength = line.size();
            blockRightToLeft = rightToLeft;
        }
        blockFull = cut;
        for (qsizetype from = 0; cut && line.size() - from > kBlockLength;) {
            from +=
                cutPosition(line.mid(from), kBlockLength - kCutWindow, kBlockLength, rightToLeft);
            cuts.push_back(lineStart + from);
        }
        if (found < 0)
            break;
        lineStart = lineEnd + 1;
    }
    if (cuts.empty())
        return;

    // Room for the cuts, made in place from the end: a copy would take as
    // much memory again.
    const qsizetype size = text.size(), count = qsizetype(cuts.size());
    text.reserve(size + count); // no more: resize() alone would make room to grow
    text.resize(size + count);
    QChar* d = text.data();
    for (qsizetype i = count, end = size; i-- > 0; end = cuts[i]) {
        std::memmove(d + cuts[i] + i + 1, d + cuts[i], std::size_t(end - cuts[i]) * sizeof(QChar));
        d[cuts[i] + i] = QChar(kParagraph);
    }
    Marks moved;
    moved.reserve(marks.size() + cuts.size());
    qsizetype before = 0; // cuts before the next mark
    for (const Marked& marked : marks) {
        for (; before < count && cuts[before] <= marked.position; ++before)
            moved.push_back({cuts[before] + before, Mark::Cut});
        moved.push_back({marked.position + before, marked.mark});
    }
    for (; before < count; ++before)
        moved.push_back({cuts[before] + before, Mark::Cut});
    marks = std::move(moved);
}

bool PaneCodec::hasLongLine(QStringView text)
{
    qsizetype lineStart = 0;
    for (;;) {
        const qsizetype end = text.indexOf(QChar(kParagraph), lineStart);
        if ((end < 0 ? text.size() : end) - lineStart >= PaneCapacity::kLongLine)
            return true;
        if (end < 0)
            return false;
        lineStart = end + 1;
    }
}

bool PaneCodec::needsMarks(QStringView text)
{
    for (const QChar ch : text) {
        const char16_t c = ch.unicode();
        if (c == kParagraph || c == kLineSeparator || c == kLoneCrSymbol || c == 0xFDD0 ||
            c == 0xFDD1 || c == u'\r' || c == u'\n')
            return true;
    }
    return false;
}
