#include "convert/DecodeFormText.h"
#include "DecodeInPieces.h"
#include "ReferenceDecoder.h"
#include "ScanTargets.h"
#include "convert/FormStreamDecoder.h"

#include <gtest/gtest.h>

#include <random>

using namespace std::string_literals;

namespace {
std::string decode(const std::string& s)
{
    return DecodeFormText(s);
}

// Text shaped like a real form body, with every kind of escape in it, and
// now and then a run longer than a vector.
std::string randomFormText(std::mt19937& rng, std::size_t size)
{
    static const std::string alphabet = "abcXYZ019&+=%%%%DEF0123456789\r\n\x80\xff"s + '\0';
    std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
    std::string s;
    while (s.size() < size) {
        const char c = alphabet[pick(rng)];
        s += c == 'Z' ? "a+long+run+of+words+that+fills+more+than+one+vector+of+AVX2+"
                      : std::string(1, c);
    }
    s.resize(size);
    return s;
}

std::string decodeInPieces(const std::string& text, std::size_t piece)
{
    FormStreamDecoder decoder;
    return DecodeInPieces(decoder, text, piece);
}
} // namespace

TEST(DecodeLeadCharacters, SeparatorsSpacesAndNul)
{
    EXPECT_EQ(decode("item=blue+cup&size=2"), "item :: blue cup\r\n\r\nsize :: 2");
    EXPECT_EQ(decode("a=b=c"), "a :: b :: c");
    EXPECT_EQ(decode("a\0b"s), "ab");
    EXPECT_EQ(decode(""), "");
}

TEST(DecodeLeadCharacters, OtherBytesAreCopied)
{
    EXPECT_EQ(decode("a=1\r\nb=2"), "a :: 1\r\nb :: 2");
    const std::string high = "\x80\xa0\xe9\xff\t";
    EXPECT_EQ(decode(high), high);
}

TEST(DecodeEscapeRowZero, CarriageReturnSwallowsTheNextThree)
{
    EXPECT_EQ(decode("note=Hi%21%0D%0ABye"), "note :: Hi!\r\nBye");
    EXPECT_EQ(decode("%0Dabc"), "\r\n");
    EXPECT_EQ(decode("%0Dab"), "\r\n");
    EXPECT_EQ(decode("%0D"), "\r\n");
    EXPECT_EQ(decode("%0D%0A%0D%0Ax"), "\r\n\r\nx");
    EXPECT_EQ(decode("%0d%0a"), "");
    EXPECT_EQ(decode("a%0Ab"), "ab");
    EXPECT_EQ(decode("a%09b"), "ab");
    EXPECT_EQ(decode("%0"), "");
}

TEST(DecodeEscapeRowTwo, SymbolsAndDroppedEscapes)
{
    EXPECT_EQ(decode("%21%23%24%25%26%27%28%29"), "!#$%&'()");
    EXPECT_EQ(decode("%22"), "");
    for (const char* dropped : {"%20", "%2B", "%2C", "%2F", "%2b", "%2%"})
        EXPECT_EQ(decode(std::string("x") + dropped + "y"), "xy") << dropped;
    // A decoded "&" or "%" is text, not a separator or an escape.
    EXPECT_EQ(decode("%26%3D"), "&");
    EXPECT_EQ(decode("%2525"), "%25");
}

TEST(DecodeEscapeRowsThreeToSeven, OnlyUpperCaseLetters)
{
    EXPECT_EQ(decode("q=why%3F&r=1"), "q :: why?\r\n\r\nr :: 1");
    EXPECT_EQ(decode("%5E%60%7E"), "^`~");
    EXPECT_EQ(decode("%3f%5e%7e"), "");
    EXPECT_EQ(decode("%3A%3B%3C%3E%5B%5C%5D%61%7B%7C%7D"), "");
}

TEST(DecodeTwoCharacterEscapes, KeepTheSecondCharacter)
{
    EXPECT_EQ(decode("a%40b"), "a0b");
    EXPECT_EQ(decode("%E9t"), "9t");
    EXPECT_EQ(decode("%1Fx"), "Fx");
    EXPECT_EQ(decode("%e9"), "9");
    EXPECT_EQ(decode("%%"), "");
    EXPECT_EQ(decode("%%41"), "41");
    // A separator in the first digit's place is swallowed by the escape.
    EXPECT_EQ(decode("%&a=1"), "a :: 1");
    EXPECT_EQ(decode("%+x"), "x");
    EXPECT_EQ(decode("%=x"), "x");
    EXPECT_EQ(decode("%\xff+"s), " ");
    EXPECT_EQ(decode("%\0&"s), "\r\n\r\n");
}

TEST(DecodeTruncatedText, EndsWithoutReadingPastTheEnd)
{
    EXPECT_EQ(decode("50%"), "50");
    EXPECT_EQ(decode("50%2"), "50");
    EXPECT_EQ(decode("50%3"), "50");
    EXPECT_EQ(decode("50%4"), "50");
    // The argument is a view: bytes after it must not be looked at.
    const std::string buffer = "x%2125";
    EXPECT_EQ(DecodeFormText(std::string_view(buffer).substr(0, 3)), "x");
}

TEST(DecodeRandomText, AgreesWithTheTablesAndStaysWithinBounds)
{
    ForEachScanTarget([] {
        std::mt19937 rng(20261208);
        for (int round = 0; round < 2000; ++round) {
            const std::string text = randomFormText(rng, round % 400);
            const std::string out = DecodeFormText(text);
            ASSERT_EQ(out, ReferenceDecode(text)) << testing::PrintToString(text);
            ASSERT_LE(out.size(), kMaxDecodeGrowth * text.size());
        }
    });
}

TEST(DecodeInPieces, SameResultWhereverThePiecesAreCut)
{
    std::mt19937 rng(7);
    const std::string text = randomFormText(rng, 5000);
    const std::string whole = ReferenceDecode(text);
    ForEachScanTarget([&] {
        for (std::size_t piece = 1; piece <= 16; ++piece)
            ASSERT_EQ(decodeInPieces(text, piece), whole) << "piece size " << piece;
        EXPECT_EQ(decodeInPieces(text, 150), whole);
        EXPECT_EQ(decodeInPieces(text, 4093), whole);
        EXPECT_EQ(decodeInPieces(text, 1 << 20), whole);
        // Each escape kind cut at each place.
        for (const std::string s : {"%0D%0Ax", "ab%2", "%", "%0D", "x%41y", "%%%%&=+"})
            for (std::size_t piece = 1; piece <= 7; ++piece)
                EXPECT_EQ(decodeInPieces(s, piece), DecodeFormText(s)) << s << " / " << piece;
    });
}

TEST(DecodeInPieces, DecoderIsReusableAfterFinish)
{
    FormStreamDecoder decoder;
    std::string out;
    decoder.feed("a=50%", out);
    decoder.finish(out);
    decoder.feed("%21", out);
    decoder.finish(out);
    EXPECT_EQ(out, "a :: 50!");
}

TEST(DecodeLongText, AgreesWithTheTablesAcrossInternalBoundaries)
{
    // Long texts are decoded in parts; an escape cut by a power-of-two
    // boundary must come out whole.
    std::mt19937 rng(11);
    const std::string text = randomFormText(rng, 1 << 20);
    const std::string expected = ReferenceDecode(text);
    ForEachScanTarget([&] { ASSERT_EQ(DecodeFormText(text), expected); });
    for (const std::size_t boundary :
         {std::size_t(1) << 16, std::size_t(1) << 18, std::size_t(1) << 20}) {
        for (std::size_t back = 0; back <= 6; ++back) {
            const std::string s = std::string(boundary - back, 'a') + "%0D%0Ab%21%E9=x&y" +
                                  std::string(boundary, '+');
            const std::string decoded = ReferenceDecode(s);
            ForEachScanTarget(
                [&] { ASSERT_EQ(DecodeFormText(s), decoded) << boundary << " - " << back; });
        }
    }
}
