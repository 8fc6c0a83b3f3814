// SPDX-License-Identifier: GPL-3.0-or-later
// The panel and the intro need a widgets application; it lives on the stack
// so that it ends, and with it what the font and platform code hold, before
// the leak check.
#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
