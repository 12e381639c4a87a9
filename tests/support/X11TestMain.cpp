#include "support/Xvfb.h"

#include <QApplication>
#include <gtest/gtest.h>

// Test programs that need the real X11 platform: each run gets its own Xvfb,
// and the QApplication talks to it through Qt's xcb platform (the clipboard,
// windows). Listing the tests needs neither.
int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    if (GTEST_FLAG_GET(list_tests))
        return RUN_ALL_TESTS();
    tarnwick::test::Xvfb xvfb;
    qputenv("QT_QPA_PLATFORM", "xcb");
    int result = 0;
    {
        QApplication app(argc, argv);
        result = RUN_ALL_TESTS();
    }
    return result;
}
