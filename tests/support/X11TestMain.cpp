#include "support/Xvfb.h"

#include <QApplication>
#ifdef TARNWICK_TEST_PROGRAM_LOOK
#include "panels/ProgramLook.h"
#endif
#include <gtest/gtest.h>

// Test programs that need the real X11 platform: each run gets its own Xvfb,
// and the QApplication talks to it through Qt's xcb platform (the clipboard,
// windows). Listing the tests needs neither. $TARNWICK_TEST_XVFB_ARGS adds
// arguments to the server's command line.
int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (GTEST_FLAG_GET(list_tests))
        return RUN_ALL_TESTS();
    // A program may ask for a reduced server, e.g. one without RECORD.
    const QStringList xvfbArgs =
        QString::fromLocal8Bit(qgetenv("TARNWICK_TEST_XVFB_ARGS")).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    tarnwick::test::Xvfb xvfb(xvfbArgs);
    qputenv("QT_QPA_PLATFORM", "xcb");
    int result = 0;
    {
        QApplication app(argc, argv);
#ifdef TARNWICK_TEST_PROGRAM_LOOK
        if (const QString missing = tarnwick::installProgramLook(app); !missing.isEmpty())
            qWarning("%s", qPrintable(missing));
#endif
        result = RUN_ALL_TESTS();
    }
    return result;
}
