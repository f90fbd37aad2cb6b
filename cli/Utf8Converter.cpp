#include "Utf8Converter.h"

#include "FormatLibrary.h"
#include "convert/EncodeUtf8.h"
#include "convert/FormScanner.h"
#include "convert/Windows1252.h"

#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace {

// The charset's name in lower case without punctuation, so that the usual
// spellings of one name compare equal ("ISO_8859-1", "iso8859-1").
std::string plainName(const std::string& charset)
{
    std::string name;
    for (const char c : charset)
        if (std::isalnum(static_cast<unsigned char>(c)))
            name += char(std::tolower(static_cast<unsigned char>(c)));
    return name;
}

bool isOneOf(const std::string& name, std::initializer_list<const char*> names)
{
    for (const char* candidate : names)
        if (name == candidate)
            return true;
    return false;
}

// The length of the well-formed UTF-8 character that starts with the byte
// at `p` (0x80 or above) and ends before `end`, or 0 where none does. The
// second byte's range depends on the first, which keeps out overlong forms,
// surrogates and code points beyond U+10FFFF.
std::size_t characterLength(const unsigned char* p, const unsigned char* end)
{
    const unsigned lead = p[0];
    std::size_t length;
    unsigned low = 0x80, high = 0xBF; // of the second byte
    if (lead >= 0xC2 && lead <= 0xDF)
        length = 2;
    else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else
        return 0;
    if (std::size_t(end - p) < length || p[1] < low || p[1] > high)
        return 0;
    for (std::size_t i = 2; i < length; ++i)
        if ((p[i] & 0xC0) != 0x80)
            return 0;
    return length;
}

// Whether the `size` bytes at `p`, at most sixteen, are all ASCII.
bool isShortAscii(const unsigned char* p, std::size_t size)
{
    const auto word = [p](std::size_t at, std::size_t width) {
        std::uint64_t bits = 0;
        std::memcpy(&bits, p + at, width);
        return bits;
    };
    std::uint64_t any = 0;
    if (size >= 8)
        any = word(0, 8) | word(size - 8, 8);
    else if (size >= 4)
        any = word(0, 4) | word(size - 4, 4);
    else
        for (std::size_t i = 0; i < size; ++i)
            any |= p[i];
    return (any & 0x8080808080808080u) == 0;
}

// Whether the bytes from `p` to `end` are well-formed UTF-8, a character at a
// time, and eight bytes at a time where they are all ASCII.
bool isUtf8Scalar(const unsigned char* p, const unsigned char* end)
{
    while (p < end) {
        if (end - p >= 8) {
            std::uint64_t word;
            std::memcpy(&word, p, 8);
            if ((word & 0x8080808080808080u) == 0) {
                p += 8;
                continue;
            }
        }
        if (*p < 0x80) {
            ++p;
            continue;
        }
        const std::size_t length = characterLength(p, end);
        if (length == 0)
            return false;
        p += length;
    }
    return true;
}

#if defined(__x86_64__)
// The tables of the vector checks below.
struct Utf8Tables
{
    __m128i byte1High, byte1Low, byte2High;
    // A lead byte in the last three places that its character does not fit.
    __m128i lastLeads;
};

Utf8Tables utf8Tables()
{
    enum : unsigned char
    {
        kTooShort = 1 << 0,     // a lead byte, then no continuation
        kTooLong = 1 << 1,      // ASCII, then a continuation
        kOverlong3 = 1 << 2,    // E0 80..9F
        kTooLarge = 1 << 3,     // F4 90..BF, F5..FF
        kSurrogate = 1 << 4,    // ED A0..BF
        kOverlong2 = 1 << 5,    // C0, C1
        kTooLarge1000 = 1 << 6, // F5..FF 80..8F
        kOverlong4 = 1 << 6,    // F0 80..8F
        kTwoConts = 1 << 7,     // a continuation after a continuation: right only in
                                // a character of three or four bytes, told apart below
        kCarry = kTooShort | kTooLong | kTwoConts,
    };
    const __m128i byte1High =
        _mm_setr_epi8(kTooLong, kTooLong, kTooLong, kTooLong, kTooLong, kTooLong, kTooLong,
                      kTooLong, char(kTwoConts), char(kTwoConts), char(kTwoConts), char(kTwoConts),
                      kTooShort | kOverlong2, kTooShort, kTooShort | kOverlong3 | kSurrogate,
                      kTooShort | kTooLarge | kTooLarge1000 | kOverlong4);
    constexpr char kLarge = kCarry | kTooLarge | kTooLarge1000;
    const __m128i byte1Low = _mm_setr_epi8(
        char(kCarry | kOverlong3 | kOverlong2 | kOverlong4), char(kCarry | kOverlong2),
        char(kCarry), char(kCarry), char(kCarry | kTooLarge), kLarge, kLarge, kLarge, kLarge,
        kLarge, kLarge, kLarge, kLarge, char(kLarge | kSurrogate), kLarge, kLarge);
    constexpr char kCont8 =
        char(kTooLong | kOverlong2 | kTwoConts | kOverlong3 | kTooLarge1000 | kOverlong4);
    constexpr char kCont9 = char(kTooLong | kOverlong2 | kTwoConts | kOverlong3 | kTooLarge);
    constexpr char kContAB = char(kTooLong | kOverlong2 | kTwoConts | kSurrogate | kTooLarge);
    const __m128i byte2High = _mm_setr_epi8(
        kTooShort, kTooShort, kTooShort, kTooShort, kTooShort, kTooShort, kTooShort, kTooShort,
        kCont8, kCont9, kContAB, kContAB, kTooShort, kTooShort, kTooShort, kTooShort);
    const __m128i lastLeads = _mm_setr_epi8(-1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,
                                            char(0xF0 - 1), char(0xE0 - 1), char(0xC0 - 1));
    return {byte1High, byte1Low, byte2High, lastLeads};
}

// The same sixteen bytes at a time, after Keiser and Lemire, "Validating
// UTF-8 in less than one instruction per byte" (2021). Each byte is judged
// with the one before it by three tables, indexed by the high half of the
// byte before, its low half, and the high half of the byte itself; each
// bit of their entries stands for one kind of fault, and a fault is where
// all three tables set its bit. Whether a byte must be the third or fourth
// of a character comes from the bytes two and three before. The bytes before
// `p` must be ASCII.
__attribute__((target("ssse3"))) bool isUtf8Blocks(const unsigned char* p, std::size_t size)
{
    const Utf8Tables tables = utf8Tables();
    const __m128i byte1High = tables.byte1High, byte1Low = tables.byte1Low,
                  byte2High = tables.byte2High, lastLeads = tables.lastLeads;
    const __m128i low4 = _mm_set1_epi8(0x0F);
    const auto highHalf = [&](__m128i v) __attribute__((target("ssse3")))
    {
        return _mm_and_si128(_mm_srli_epi16(v, 4), low4);
    };
    __m128i error = _mm_setzero_si128();
    __m128i previous = _mm_setzero_si128();
    __m128i open = _mm_setzero_si128(); // the last block left a character open
    const auto judge = [&](__m128i input) __attribute__((target("ssse3")))
    {
        const __m128i prev1 = _mm_alignr_epi8(input, previous, 15);
        const __m128i special =
            _mm_and_si128(_mm_and_si128(_mm_shuffle_epi8(byte1High, highHalf(prev1)),
                                        _mm_shuffle_epi8(byte1Low, _mm_and_si128(prev1, low4))),
                          _mm_shuffle_epi8(byte2High, highHalf(input)));
        const __m128i third =
            _mm_subs_epu8(_mm_alignr_epi8(input, previous, 14), _mm_set1_epi8(0xE0 - 0x80));
        const __m128i fourth =
            _mm_subs_epu8(_mm_alignr_epi8(input, previous, 13), _mm_set1_epi8(char(0xF0 - 0x80)));
        const __m128i mustContinue =
            _mm_and_si128(_mm_or_si128(third, fourth), _mm_set1_epi8(char(0x80)));
        error = _mm_or_si128(error, _mm_xor_si128(mustContinue, special));
        open = _mm_subs_epu8(input, lastLeads);
        previous = input;
    };
    const auto load = [p](std::size_t at) __attribute__((target("ssse3")))
    {
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + at));
    };
    // Four blocks at a time are passed at once where they are all ASCII.
    // Asked of each block, that would be a branch that text mixing ASCII
    // with other letters takes one way or the other at random.
    std::size_t at = 0;
    for (; at + 64 <= size; at += 64) {
        const __m128i blocks[] = {load(at), load(at + 16), load(at + 32), load(at + 48)};
        if (_mm_movemask_epi8(_mm_or_si128(_mm_or_si128(blocks[0], blocks[1]),
                                           _mm_or_si128(blocks[2], blocks[3]))) == 0) {
            // A character left open ends here, with a fault.
            error = _mm_or_si128(error, open);
            open = _mm_setzero_si128();
            previous = blocks[3];
            continue;
        }
        for (const __m128i block : blocks)
            judge(block);
    }
    for (; at + 16 <= size; at += 16)
        judge(load(at));
    if (at < size) {
        // The last bytes, followed by NULs: as ASCII, these end a character
        // left open with a fault, as the end of the text does.
        alignas(16) unsigned char last[16] = {};
        std::memcpy(last, p + at, size - at);
        judge(_mm_load_si128(reinterpret_cast<const __m128i*>(last)));
    }
    error = _mm_or_si128(error, open);
    return _mm_movemask_epi8(_mm_cmpeq_epi8(error, _mm_setzero_si128())) == 0xFFFF;
}

// The same with AVX2, thirty-two bytes at a time. Its byte shifts work in
// each half of a vector apart, so the byte before a block's first half is
// brought from the block before.
__attribute__((target("avx2"))) bool isUtf8Blocks32(const unsigned char* p, std::size_t size)
{
    const Utf8Tables tables = utf8Tables();
    const __m256i byte1High = _mm256_broadcastsi128_si256(tables.byte1High),
                  byte1Low = _mm256_broadcastsi128_si256(tables.byte1Low),
                  byte2High = _mm256_broadcastsi128_si256(tables.byte2High);
    // The last three places are those of the second half.
    const __m256i lastLeads = _mm256_inserti128_si256(_mm256_set1_epi8(-1), tables.lastLeads, 1);
    const __m256i low4 = _mm256_set1_epi8(0x0F);
    const auto highHalf = [&](__m256i v) __attribute__((target("avx2")))
    {
        return _mm256_and_si256(_mm256_srli_epi16(v, 4), low4);
    };
    __m256i error = _mm256_setzero_si256();
    __m256i previous = _mm256_setzero_si256();
    __m256i open = _mm256_setzero_si256();
    const auto judge = [&](__m256i input) __attribute__((target("avx2")))
    {
        // The last half of the block before, then the first of this one.
        const __m256i before = _mm256_permute2x128_si256(previous, input, 0x21);
        const __m256i prev1 = _mm256_alignr_epi8(input, before, 15);
        const __m256i special = _mm256_and_si256(
            _mm256_and_si256(_mm256_shuffle_epi8(byte1High, highHalf(prev1)),
                             _mm256_shuffle_epi8(byte1Low, _mm256_and_si256(prev1, low4))),
            _mm256_shuffle_epi8(byte2High, highHalf(input)));
        const __m256i third =
            _mm256_subs_epu8(_mm256_alignr_epi8(input, before, 14), _mm256_set1_epi8(0xE0 - 0x80));
        const __m256i fourth = _mm256_subs_epu8(_mm256_alignr_epi8(input, before, 13),
                                                _mm256_set1_epi8(char(0xF0 - 0x80)));
        const __m256i mustContinue =
            _mm256_and_si256(_mm256_or_si256(third, fourth), _mm256_set1_epi8(char(0x80)));
        error = _mm256_or_si256(error, _mm256_xor_si256(mustContinue, special));
        open = _mm256_subs_epu8(input, lastLeads);
        previous = input;
    };
    const auto load = [p](std::size_t at) __attribute__((target("avx2")))
    {
        return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + at));
    };
    std::size_t at = 0;
    for (; at + 64 <= size; at += 64) {
        const __m256i first = load(at), second = load(at + 32);
        if (_mm256_movemask_epi8(_mm256_or_si256(first, second)) == 0) {
            error = _mm256_or_si256(error, open);
            open = _mm256_setzero_si256();
            previous = second;
            continue;
        }
        judge(first);
        judge(second);
    }
    for (; at + 32 <= size; at += 32)
        judge(load(at));
    if (at < size) {
        alignas(32) unsigned char last[32] = {};
        std::memcpy(last, p + at, size - at);
        judge(_mm256_load_si256(reinterpret_cast<const __m256i*>(last)));
    }
    error = _mm256_or_si256(error, open);
    return _mm256_testz_si256(error, error) != 0;
}
#endif

// The decoder that browsers read a charset with, under the name iconv knows
// it by. Where a form names a charset, browsers encode it in their own
// decoder's superset of it, and read it so: a narrower table would read the
// letters that only the superset has as faults, or, for Shift_JIS, read the
// backslash as "¥" and the tilde as "‾", which would change the paths and
// addresses that forms hold. ISO-8859-1, read as Windows-1252, is taken
// before.
const char* decoderOf(const std::string& name, const std::string& charset)
{
    static const struct
    {
        std::initializer_list<const char*> names;
        const char* decoder;
    } kSupersets[] = {
        {{"shiftjis", "sjis", "mskanji", "csshiftjis", "ms932", "windows31j", "cswindows31j",
          "xsjis"},
         "CP932"},
        {{"iso88599", "latin5", "l5", "isoir148", "csisolatin5", "iso885991989", "windows1254",
          "xcp1254"},
         "CP1254"},
        {{"tis620", "iso885911", "windows874", "dos874"}, "CP874"},
        {{"gb2312", "csgb2312", "chinese", "gbk", "xgbk", "isoir58", "gb231280", "csiso58gb231280"},
         "GB18030"},
        {{"euckr", "cseuckr", "korean", "windows949", "isoir149", "csksc56011987", "ksc5601",
          "ksc56011987", "ksc56011989"},
         "CP949"},
        {{"iso88598i", "csiso88598i", "logical"}, "ISO-8859-8"},
    };
    for (const auto& superset : kSupersets)
        if (isOneOf(name, superset.names))
            return superset.decoder;
    return charset.c_str();
}

std::string windows1252(std::string_view bytes)
{
    std::string text;
    text.reserve(bytes.size() * 2);
    char utf8[4];
    for (const char byte : bytes)
        text.append(utf8, std::size_t(EncodeUtf8(
                              Windows1252ToUnicode(static_cast<unsigned char>(byte)), utf8)));
    return text;
}

} // namespace

Utf8Converter::Utf8Converter(const std::string& charset)
{
    const std::string name = plainName(charset);
    if (name.empty() || isOneOf(name, {"usascii", "ascii", "ansix341968", "iso646us", "us"}))
        return; // no charset, or one that says nothing about bytes above 127
    if (name == "utf8") {
        m_way = Way::Utf8;
        return;
    }
    if (isOneOf(name, {"iso88591", "latin1", "l1", "isoir100", "cp819", "ibm819", "windows1252",
                       "cp1252", "xcp1252"})) {
        m_way = Way::Windows1252;
        return;
    }
    m_iconv = FormatLibrary::open().openIconv(decoderOf(name, charset));
    if (m_iconv == iconv_t(-1))
        m_unknown = true;
    else
        m_way = Way::Iconv;
}

Utf8Converter::~Utf8Converter()
{
    if (m_iconv != iconv_t(-1))
        FormatLibrary::open().closeIconv(m_iconv);
}

bool Utf8Converter::isUtf8(std::string_view bytes)
{
    // Most names are short and ASCII, which a look at their first and last
    // eight bytes, or four, passes at once. Beyond them, text mixes letters
    // of one to four bytes with spaces and signs, which the vector check
    // takes sixteen bytes at a time, passing ASCII blocks at once, and a
    // processor without it a character at a time.
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    const auto* end = p + bytes.size();
    if (bytes.size() <= 16 && isShortAscii(p, bytes.size()))
        return true;
#if defined(__x86_64__)
    static const bool ssse3 = __builtin_cpu_supports("ssse3");
    if (FormScanner::hasAvx2())
        return isUtf8Blocks32(p, std::size_t(end - p));
    if (ssse3 && FormScanner::current() != FormScanner::kScalar)
        return isUtf8Blocks(p, std::size_t(end - p));
#endif
    return isUtf8Scalar(p, end);
}

std::string Utf8Converter::utf8OrWindows1252(std::string_view bytes)
{
    return isUtf8(bytes) ? std::string(bytes) : windows1252(bytes);
}

std::string_view Utf8Converter::convert(std::string_view bytes, std::string& scratch)
{
    // Text that is to stay as it is is not copied, nor checked twice.
    if (keepsUtf8()) {
        if (isUtf8(bytes))
            return bytes;
        scratch = notUtf8(bytes);
        return scratch;
    }
    scratch = (*this)(bytes);
    return scratch;
}

std::string Utf8Converter::notUtf8(std::string_view bytes)
{
    m_fellBack = m_fellBack || m_way == Way::Utf8;
    return windows1252(bytes);
}

std::string Utf8Converter::operator()(std::string_view bytes)
{
    switch (m_way) {
    case Way::Guess:
    case Way::Utf8:
        return isUtf8(bytes) ? std::string(bytes) : notUtf8(bytes);
    case Way::Windows1252:
        return windows1252(bytes);
    case Way::Iconv:
        break;
    }
    // Each text starts in the converter's first state (ISO-2022-JP keeps one).
    ::iconv(m_iconv, nullptr, nullptr, nullptr, nullptr);
    std::string out(bytes.size() * 2 + 16, '\0');
    char* in = const_cast<char*>(bytes.data());
    std::size_t inLeft = bytes.size();
    std::size_t done = 0;
    for (bool flushing = false;;) {
        char* to = out.data() + done;
        std::size_t outLeft = out.size() - done;
        const std::size_t result = flushing ? ::iconv(m_iconv, nullptr, nullptr, &to, &outLeft)
                                            : ::iconv(m_iconv, &in, &inLeft, &to, &outLeft);
        done = out.size() - outLeft;
        if (result != std::size_t(-1)) {
            if (flushing)
                break;
            flushing = true;
            continue;
        }
        if (errno != E2BIG) {
            // Not valid in this charset (EILSEQ), or cut short (EINVAL).
            m_fellBack = true;
            return utf8OrWindows1252(bytes);
        }
        out.resize(out.size() * 2);
    }
    out.resize(done);
    return out;
}
