#include "convert/StandardFormDecoder.h"
#include "DecodeInPieces.h"
#include "ReferenceDecoder.h"
#include "ScanTargets.h"
#include "convert/FormFieldSplitter.h"

#include <gtest/gtest.h>

#include <random>

using namespace std::string_literals;

namespace {
using Pairs = std::vector<std::pair<std::string, std::string>>;

std::string decodeInPieces(const std::string& text, std::size_t piece)
{
    StandardFormDecoder decoder;
    return DecodeInPieces(decoder, text, piece);
}

std::string decode(const std::string& text)
{
    return decodeInPieces(text, text.size() + 1);
}

Pairs fields(const std::string& text, std::size_t piece = 1 << 20)
{
    Pairs out;
    FormFieldSplitter splitter(
        [&out](FormField& field) {
            EXPECT_TRUE(field.named);
            out.emplace_back(field.name, field.value);
        },
        FormDecoding::Standard);
    for (std::size_t i = 0; i < text.size(); i += piece)
        splitter.feed(std::string_view(text).substr(i, piece));
    splitter.finish();
    return out;
}
} // namespace

TEST(StandardDecoding, EveryEscapeIsItsByte)
{
    EXPECT_EQ(decode("email=jose%40example.com&name=Jos%C3%A9"),
              "email :: jose@example.com\r\n\r\nname :: Jos\xc3\xa9");
    EXPECT_EQ(decode("a=%2b%2B+%20%3d%26%25%0d%0A%00%ff"), "a :: ++  =&%\r\n\0\xff"s);
    // "&" and "=" that arrive escaped separate nothing; a later "=" is data.
    EXPECT_EQ(fields("q=a%26b%3Dc&r=x=y"), (Pairs{{"q", "a&b=c"}, {"r", "x=y"}}));
}

TEST(StandardDecoding, MalformedEscapesStayAsTheyAre)
{
    EXPECT_EQ(decode("a=50%"), "a :: 50%");
    EXPECT_EQ(decode("a=%4"), "a :: %4");
    EXPECT_EQ(decode("a=%4g%%41%+1"), "a :: %4g%A% 1");
    EXPECT_EQ(fields("a=%&b=%2&c=%x"), (Pairs{{"a", "%"}, {"b", "%2"}, {"c", "%x"}}));
}

TEST(StandardDecoding, EmptySequencesAreSkippedAndBareNamesHaveEmptyValues)
{
    EXPECT_EQ(fields(""), Pairs{});
    EXPECT_EQ(fields("&&&"), Pairs{});
    EXPECT_EQ(fields("&a=1&&b&=&c="), (Pairs{{"a", "1"}, {"b", ""}, {"", ""}, {"c", ""}}));
    EXPECT_EQ(decode("&a=1&&b&"), "a :: 1\r\n\r\nb :: ");
    // Line breaks in the encoded text are data.
    EXPECT_EQ(fields("a=1\r\nb=2"), (Pairs{{"a", "1\r\nb=2"}}));
}

TEST(StandardDecoding, PiecesCutAnywhereGiveTheSameResult)
{
    static const std::string alphabet = "ab&&==++%%%%0D4f1C3\r\xe9ZG:@`/";
    std::mt19937 rng(11);
    std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
    for (int round = 0; round < 300; ++round) {
        std::string text;
        for (int i = 0; i < 1 + round % 40 + round / 150 * 200; ++i) {
            const char c = alphabet[pick(rng)];
            text += c == 'Z' ? "a+run+of+words+longer+than+a+vector+of+AVX2+" : std::string(1, c);
        }
        const std::string whole = ReferenceStandardDecode(text);
        ForEachScanTarget([&] {
            ASSERT_EQ(decode(text), whole) << text;
            const Pairs split = fields(text);
            // The fields, joined back, are the decoded text.
            std::string joined;
            for (std::size_t i = 0; i < split.size(); ++i)
                joined += (i ? "\r\n\r\n" : "") + split[i].first + " :: " + split[i].second;
            EXPECT_EQ(joined, whole) << text;
            for (std::size_t piece = 1; piece <= 4; ++piece) {
                ASSERT_EQ(decodeInPieces(text, piece), whole) << text << " / " << piece;
                ASSERT_EQ(fields(text, piece), split) << text << " / " << piece;
            }
        });
    }
}

TEST(StandardDecoding, DecoderIsReusableAfterFinish)
{
    StandardFormDecoder decoder;
    std::string out;
    decoder.feed("a=1&b=%4", out);
    EXPECT_TRUE(decoder.finish(out));
    EXPECT_FALSE(decoder.finish(out)); // nothing fed: no field
    decoder.feed("c", out);
    decoder.finish(out);
    EXPECT_EQ(out, "a :: 1\r\n\r\nb :: %4c :: ");
}
