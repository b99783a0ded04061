// Test main for rooms that need a Qt application object but no widgets.
#include "tests/support/FailingErrorDisplay.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    InstallFailingErrorDisplay();
    return RUN_ALL_TESTS();
}
