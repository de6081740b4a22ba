// Runs GoogleTest inside a Qt application: the program's folder rules ask it
// for the executable's location, and the widget tests need one with a screen
// (offscreen unless one is chosen, also when ctest lists the cases).
#include <QApplication>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
