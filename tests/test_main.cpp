// One main for every test program: a QApplication so widget tests can run without a desktop.
#include <QApplication>
#include <QStandardPaths>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
#ifndef Q_OS_WIN
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
#endif
    // On Windows the system's own platform: its offscreen one measures text without any font
    // under Wine (which also drops QT_ variables), so scripts/windows.sh gives the tests a
    // virtual display instead.
    QApplication app(argc, argv);
    // Whatever the program keeps in the user's folders (the default results database) goes to
    // the toolkit's test folders, never to the user's own.
    QStandardPaths::setTestModeEnabled(true);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
