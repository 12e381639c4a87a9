#pragma once

#include "app/X11HandOffHooks.h"
#include "platform/QtClipboardBackend.h"
#include "series/AppModel.h"
#include "series/SeriesTestSupport.h"
#include "support/X11Test.h"

#include <QUrl>

namespace tarnwick::test {

inline const QByteArray commentText = QStringLiteral("A1 первый\nB1 второй <b>").toUtf8();

// The hand-off for real: Tarnwick's model with the shell's Ctrl+V watch, XTEST paste
// and the Qt clipboard in this process, a series of two shots saved for a
// chat; the chat is the fixture's window of another program, and what it
// would paste is read with xclip from another process.
class X11HandOffTest : public X11Test, public SeriesParts<platform::QtClipboardBackend> {
protected:
    void SetUp() override
    {
        X11Test::SetUp();
        hooks = std::make_unique<X11HandOffHooks>();
        model = std::make_unique<AppModel>(bridge, settings);
        hooks->install(*model);
        model->alert = [this](const QString& s) { alerts << s; };
        for (const Screenshot& shot : {shotWithComments({QStringLiteral("первый")}, Qt::red),
                                       shotWithComments({QStringLiteral("второй <b>")}, Qt::blue)})
            ASSERT_TRUE(model->save(shot, shot.annotations, true));
        ASSERT_TRUE(bridge.isCurrent());
    }

    // The images are on the clipboard: the first as PNG, both as files, and no text.
    void expectImagesOffered()
    {
        QImage first;
        ASSERT_TRUE(first.loadFromData(xclipRead(QStringLiteral("image/png")), "PNG"));
        EXPECT_EQ(first.pixelColor(20, 20), QColor(Qt::red));
        const QList<QByteArray> uris = xclipRead(QStringLiteral("text/uri-list")).split('\n');
        ASSERT_EQ(uris.size(), 3);
        for (int i = 0; i < 2; ++i) {
            const QString file = QUrl::fromEncoded(uris[i].trimmed()).toLocalFile();
            EXPECT_TRUE(file.endsWith(i ? QStringLiteral("/B.png") : QStringLiteral("/A.png"))) << file.toStdString();
        }
        EXPECT_TRUE(xclipRead(QStringLiteral("UTF8_STRING")).isEmpty());
    }

    // The comments are on the clipboard, without the images.
    void expectCommentsOffered()
    {
        EXPECT_EQ(xclipRead(QStringLiteral("UTF8_STRING")), commentText);
        EXPECT_FALSE(xclipTargets().contains(QStringLiteral("image/png")));
    }

    std::unique_ptr<X11HandOffHooks> hooks; // outlives the model that calls it
    std::unique_ptr<AppModel> model;
    QStringList alerts;
};

} // namespace tarnwick::test
