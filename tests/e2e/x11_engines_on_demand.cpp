#include "RealProgram.h"

#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QSet>
#include <X11/keysym.h>

namespace tarnwick::test {
namespace {

using namespace std::chrono_literals;

// The large libraries come in with the engine that needs them, the first time it is used.
class EnginesOnDemand : public RealProgram {
protected:
    void SetUp() override
    {
        X11Test::SetUp();
        startDesktop();
        if (!HasFatalFailure())
            startProgram();
    }

    // The libraries among `names` that the running program has mapped.
    QSet<QString> mapped(const QStringList& names)
    {
        QFile maps(QStringLiteral("/proc/%1/maps").arg(app.processId()));
        if (!maps.open(QIODevice::ReadOnly))
            return {};
        QSet<QString> found;
        for (const QByteArray& line : maps.readAll().split('\n')) {
            const QString file = QFileInfo(QString::fromUtf8(line.mid(line.lastIndexOf(' ') + 1))).fileName();
            for (const QString& name : names)
                if (file.startsWith(name + u'.'))
                    found << name;
        }
        return found;
    }

    const QStringList effects{"libopencv_core", "libopencv_imgproc", "libtarnwick_effects"};
    const QStringList recognition{"libtesseract", "liblept", "libZXing", "libtarnwick_recognition"};
    const QStringList recording{"libavcodec", "libavformat", "libswscale", "libx265", "libopencv_video",
                                "libtarnwick_recording", "libtarnwick_recording_review"};
};

TEST_F(EnginesOnDemand, AtRestTheProgramHoldsNoEngineAndTextCaptureAndRecordingBringInTheirOwn)
{
    EXPECT_EQ(mapped(effects + recognition + recording), QSet<QString>());

    // Text on the desktop, read through the picker as a user does it.
    QImage text(900, 120, QImage::Format_RGB32);
    text.fill(Qt::white);
    {
        QPainter painter(&text);
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setPixelSize(40);
        painter.setFont(font);
        painter.setPen(Qt::black);
        painter.drawText(text.rect(), Qt::AlignCenter, QStringLiteral("Съешь ещё этих булок 2026"));
    }
    x.putPixels(x.root(), 500, 400, text.width(), text.height(), reinterpret_cast<const std::uint32_t*>(text.constBits()));
    x.sync();
    x.chord({x.keycodeOf(XK_Control_L), x.keycodeOf(XK_Shift_L), x.keycodeOf(XK_0)});
    ASSERT_TRUE(waitUntil([&] { return x.keyboardGrabbedElsewhere(); }, 30s));
    x.drag(510, 405, 1390, 515); // within the white, so no edge of it reads as a stroke
    QString read;
    ASSERT_TRUE(waitUntil([&] { return x.selectionOwner("CLIPBOARD") != 0; }, 60s)) << "no text on the clipboard";
    read = QString::fromUtf8(xclipRead(QStringLiteral("UTF8_STRING")));
    EXPECT_EQ(read.trimmed(), QStringLiteral("Съешь ещё этих булок 2026"));
    EXPECT_EQ(mapped(recognition), QSet<QString>(recognition.begin(), recognition.end()));
    EXPECT_EQ(mapped(recording), QSet<QString>()) << "reading text loaded the recorder";

    // "Запись экрана…" is the tray menu's sixth command.
    ASSERT_TRUE(openTrayMenu());
    for (int i = 0; i < 6; ++i)
        x.chord({x.keycodeOf(XK_Down)});
    x.chord({x.keycodeOf(XK_Return)});
    ASSERT_TRUE(waitUntil([&] { return !windows(QStringLiteral("^Tarnwick · Запись экрана$")).isEmpty(); }, 30s))
        << "no recording window";
    const QSet<QString> recorder = mapped(recording);
    for (const char* library : {"libavcodec", "libavformat", "libtarnwick_recording", "libtarnwick_recording_review"})
        EXPECT_TRUE(recorder.contains(QString::fromLatin1(library))) << library;
}

} // namespace
} // namespace tarnwick::test
