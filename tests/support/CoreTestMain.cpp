#include <QCoreApplication>
#include <gtest/gtest.h>

// The tests below the window side: QtCore's event loop for the processes they start.
int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
