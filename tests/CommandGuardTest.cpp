#include "WindowFixture.h"
#include "app/CommandGuard.h"
#include "app/CommandIds.h"
#include "ui/TextPane.h"

#include <QPushButton>

#include <new>
#include <stdexcept>

using CommandGuardTest = WindowFixture;

TEST_F(CommandGuardTest, ReportsWhatFailedAndWhyThenGoesOn)
{
    EXPECT_FALSE(CommandGuard::run("&Open file", [] { throw std::runtime_error("disk on fire"); }));
    EXPECT_FALSE(CommandGuard::run("Convert", [] { throw std::bad_alloc(); }));
    EXPECT_FALSE(CommandGuard::run("Save", [] { throw 42; }));
    EXPECT_TRUE(CommandGuard::run("Fine", [] {}));
    ASSERT_EQ(prompts.messages.size(), 3);
    EXPECT_EQ(prompts.messages[0], "Open file failed.\n\ndisk on fire");
    EXPECT_EQ(prompts.messages[1], "Convert failed.\n\nThere is not enough memory.");
    EXPECT_TRUE(prompts.messages[2].startsWith("Save failed."));
}

TEST_F(CommandGuardTest, ButtonsRunThroughTheGuard)
{
    // A load that fails is reported by the guard, and the window carries on.
    prompts.openAnswers << file("missing.txt", "", false);
    dlg->SetDlgItemText(IDC_SOURCE_TEXT, "kept");
    dlg->button(IDC_LOAD)->click();
    ASSERT_EQ(prompts.messages.size(), 1);
    EXPECT_TRUE(prompts.messages[0].startsWith("Load File failed."));
    EXPECT_TRUE(prompts.messages[0].contains("missing.txt"));
    EXPECT_TRUE(prompts.messages[0].contains("No such file or directory"));
    EXPECT_EQ(dlg->GetDlgItemText(IDC_SOURCE_TEXT), "kept");
    EXPECT_TRUE(dlg->isVisible());
}
