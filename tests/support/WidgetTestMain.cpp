#include "app/CFormtidyApp.h"

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    // Test discovery runs this binary outside the test's environment.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    CFormtidyApp app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
