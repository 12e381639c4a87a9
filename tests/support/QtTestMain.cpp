#include <QApplication>
#ifdef TARNWICK_TEST_PROGRAM_LOOK
#include "panels/ProgramLook.h"
#endif
#include <gtest/gtest.h>

// Every test program runs with a QApplication on the offscreen platform, so
// fonts, painting and widgets behave as in the program without a display.
int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
#ifdef TARNWICK_TEST_PROGRAM_LOOK
    if (const QString missing = tarnwick::installProgramLook(app); !missing.isEmpty())
        qWarning("%s", qPrintable(missing));
#endif
    return RUN_ALL_TESTS();
}
