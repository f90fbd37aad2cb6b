#include "convert/FormFieldSplitter.h"

#include <gtest/gtest.h>

#include <random>

using namespace std::string_literals;

namespace {
using Pairs = std::vector<std::pair<std::string, std::string>>;

Pairs pairs(const std::vector<FormField>& fields)
{
    Pairs out;
    for (const FormField& field : fields)
        out.emplace_back(field.name, field.value);
    return out;
}

Pairs split(const std::string& text)
{
    return pairs(FormFieldSplitter::split(text));
}

std::vector<FormField> splitInPieces(const std::string& text, std::size_t piece)
{
    std::vector<FormField> fields;
    FormFieldSplitter splitter([&fields](FormField& field) { fields.push_back(field); });
    for (std::size_t i = 0; i < text.size(); i += piece)
        splitter.feed(std::string_view(text).substr(i, piece));
    splitter.finish();
    return fields;
}

std::string randomFormText(std::mt19937& rng, std::size_t size)
{
    static const std::string alphabet = "ab&&==+%%%%0D26123F\r\n\xe9"s + '\0';
    std::uniform_int_distribution<std::size_t> pick(0, alphabet.size() - 1);
    std::string s;
    for (std::size_t i = 0; i < size; ++i)
        s += alphabet[pick(rng)];
    return s;
}
} // namespace

TEST(FormFields, SplitAtLeadAmpersandAndFirstLeadEquals)
{
    EXPECT_EQ(split("item=blue+cup&size=2"), (Pairs{{"item", "blue cup"}, {"size", "2"}}));
    EXPECT_EQ(split("a=b=c"), (Pairs{{"a", "b :: c"}}));
    // Escaped or decoded separators split nothing.
    EXPECT_EQ(split("q=a%26b%3Dc&r=%0D%0A"), (Pairs{{"q", "a&bc"}, {"r", "\r\n"}}));
    EXPECT_EQ(split("%&a=1"), (Pairs{{"a", "1"}}));
    EXPECT_EQ(split("x%=y"), (Pairs{{"", "xy"}}));
    EXPECT_EQ(split("%0D&=x&y=1"), (Pairs{{"", "\r\n"}, {"y", "1"}}));
}

TEST(FormFields, FieldsWithoutNameAndEmptyFields)
{
    EXPECT_EQ(split(""), Pairs{});
    EXPECT_EQ(split("%22"), (Pairs{{"", ""}}));
    EXPECT_EQ(split("plain&a=1&"), (Pairs{{"", "plain"}, {"a", "1"}, {"", ""}}));
    const auto fields = FormFieldSplitter::split("=x&x");
    ASSERT_EQ(fields.size(), 2u);
    EXPECT_TRUE(fields[0].named);
    EXPECT_FALSE(fields[1].named);
    EXPECT_EQ(FormFieldSplitter::join(fields), " :: x\r\n\r\nx");
}

TEST(FormFields, JoinedBackTheyAreTheDecodedTextWhereverThePiecesAreCut)
{
    std::mt19937 rng(5);
    for (int round = 0; round < 300; ++round) {
        const std::string text = randomFormText(rng, 1 + round % 60);
        const std::string decoded = DecodeFormText(text);
        const auto whole = FormFieldSplitter::split(text);
        ASSERT_EQ(FormFieldSplitter::join(whole), decoded) << text;
        for (std::size_t piece = 1; piece <= 7; ++piece)
            ASSERT_EQ(pairs(splitInPieces(text, piece)), pairs(whole)) << text << " / " << piece;
    }
    // A long text across the stream decoder's pieces.
    const std::string text = randomFormText(rng, 300000);
    EXPECT_EQ(FormFieldSplitter::join(splitInPieces(text, 4093)), DecodeFormText(text));
}

TEST(FormFields, SplitterIsReusableAfterFinish)
{
    std::vector<FormField> fields;
    FormFieldSplitter splitter([&fields](FormField& field) { fields.push_back(field); });
    splitter.feed("a=50%");
    splitter.finish();
    splitter.finish(); // nothing fed: no field
    splitter.feed("%21");
    splitter.finish();
    EXPECT_EQ(pairs(fields), (Pairs{{"a", "50"}, {"", "!"}}));
}
