// The replaceable parts of the program nest: an override made inside another
// hands back to the outer one when it ends, not to the real part.
#include "FakePrompts.h"
#include "app/framework/ApplicationBase.h"
#include "convert/CommandDecoder.h"
#include "convert/DecodeFormText.h"
#include "news/CNewsDlg.h"

#include <gtest/gtest.h>

TEST(Seams, AFakeOfTheDialogsInsideAnotherHandsBackToTheOuterOne)
{
    FakePrompts outer;
    outer.openAnswers << "outer.txt";
    {
        FakePrompts inner;
        inner.openAnswers << "inner.txt";
        Prompts::current().message("to the inner fake");
        EXPECT_EQ(Prompts::current().openFileName(), "inner.txt");
        EXPECT_EQ(inner.messages, QStringList{"to the inner fake"});
    }
    Prompts::current().message("to the outer fake");
    EXPECT_EQ(Prompts::current().openFileName(), "outer.txt");
    EXPECT_EQ(outer.messages, QStringList{"to the outer fake"});
}

TEST(Seams, DecoderOverridesUnwindInOrder)
{
    const CommandDecoder::Override outer([](std::string_view) { return std::string("outer"); });
    {
        const CommandDecoder::Override inner([](std::string_view) { return std::string("inner"); });
        EXPECT_EQ(CommandDecoder::decode("a=1"), "inner");
    }
    EXPECT_EQ(CommandDecoder::decode("a=1"), "outer");
}

TEST(Seams, TheRealDecoderIsBackAfterTheLastOverride)
{
    {
        const CommandDecoder::Override fake([](std::string_view) { return std::string("fake"); });
    }
    EXPECT_EQ(CommandDecoder::decode("a=1+2"), DecodeFormText("a=1+2"));
}

TEST(Seams, NewsDialogOverridesNest)
{
    std::vector<int> seen;
    const CNewsDlg::ModalOverride outer([&](CNewsDlg&) {
        seen.push_back(1);
        return 1;
    });
    {
        const CNewsDlg::ModalOverride inner([&](CNewsDlg&) {
            seen.push_back(2);
            return 2;
        });
        CNewsDlg dlg;
        EXPECT_EQ(dlg.DoModal(), 2);
    }
    CNewsDlg dlg;
    EXPECT_EQ(dlg.DoModal(), 1);
    EXPECT_EQ(seen, (std::vector<int>{2, 1}));
}
