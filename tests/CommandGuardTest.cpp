#include "app/framework/CommandGuard.h"
#include "WindowFixture.h"
#include "app/framework/CommandIds.h"
#include "convert/CommandDecoder.h"
#include "ui/TextPane.h"

#include <QAction>
#include <QDir>
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
    dlg->GetDlgItem<QPushButton>(IDC_LOAD)->click();
    ASSERT_EQ(prompts.messages.size(), 1);
    EXPECT_TRUE(prompts.messages[0].startsWith("Load File failed."));
    EXPECT_TRUE(prompts.messages[0].contains("missing.txt"));
    EXPECT_TRUE(prompts.messages[0].contains("No such file or directory"));
    EXPECT_EQ(dlg->GetDlgItemText(IDC_SOURCE_TEXT), "kept");
    EXPECT_TRUE(dlg->isVisible());
}

TEST_F(CommandGuardTest, MemoryRunningOutWhileDecodingKeepsThePanes)
{
    {
        const CommandDecoder::Override outOfMemory(
            [](std::string_view) -> std::string { throw std::bad_alloc(); });
        dlg->SetDlgItemText(IDC_SOURCE_TEXT, "a=1");
        dlg->SetDlgItemText(IDC_RESULT_TEXT, "old result");
        dlg->GetDlgItem<QPushButton>(IDC_CONVERT)->click();
        prompts.openAnswers << file("in.txt", "a=1");
        prompts.saveAnswers << file("out.txt", "old file");
        dlg->action(ID_FILE_QUICKCONVERT)->trigger();
    }

    EXPECT_EQ(prompts.messages,
              QStringList({"Convert failed.\n\nThere is not enough memory.",
                           "Quick Convert failed.\n\nThere is not enough memory."}));
    EXPECT_EQ(dlg->GetDlgItemText(IDC_RESULT_TEXT), "old result");
    EXPECT_EQ(dlg->GetDlgItemText(IDC_SOURCE_TEXT), "a=1");
    EXPECT_EQ(focused(), dlg->GetDlgItem<TextPane>(IDC_SOURCE_TEXT))
        << "a failed Convert moves no focus";
    EXPECT_EQ(contents(dir.filePath("out.txt")), "old file");
    EXPECT_EQ(prompts.dialogsShown, 1) << "no save dialog after the failure";
}
