#pragma once

#include "FakePrompts.h"
#include "app/framework/ApplicationBase.h"
#include "ui/CFormtidyDlg.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <memory>
#include <optional>

// A shown, active main window with the dialogs answered by FakePrompts.
class WindowFixture : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    // Path of a file in a fresh temporary folder, with `bytes` written to it
    // unless `create` is false.
    QString file(const QString& name, const std::string& bytes, bool create = true);
    static std::string contents(const QString& path);

    QWidget* focused() const;

    FakePrompts prompts;
    std::unique_ptr<CFormtidyDlg> dlg;
    std::optional<ApplicationBase::MainWndScope> running; // dlg as the main window
    QTemporaryDir dir;
};
