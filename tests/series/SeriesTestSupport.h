#pragma once

#include "series/AppModel.h"
#include "series/ClipboardBridge.h"
#include "series/Screenshot.h"
#include "support/Errors.h"
#include "support/FakeClipboardBackend.h"

#include <QColor>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QSettings>
#include <QString>
#include <QTemporaryDir>
#include <QUuid>
#include <deque>
#include <gtest/gtest.h>

namespace tarnwick::test {

inline Annotation element(AnnotationTool kind, QPointF start, QPointF end, double strokeWidth = 0)
{
    Annotation a;
    a.id = QUuid::createUuid();
    a.kind = kind;
    a.start = start;
    a.end = end;
    a.strokeWidth = strokeWidth;
    return a;
}

// A shot of a flat colour with the given comments, all inside the image.
inline Screenshot shotWithComments(const QStringList& comments, QColor color = Qt::gray, QSize size = {64, 48})
{
    Screenshot shot;
    shot.id = QUuid::createUuid();
    shot.image = QImage(size, QImage::Format_ARGB32_Premultiplied);
    shot.image.fill(color);
    shot.pixelSize = size;
    shot.canvasRect = QRectF(QPointF(), QSizeF(size));
    int y = 4;
    for (const QString& text : comments) {
        shot.annotations << element(AnnotationTool::comment, QPointF(4, y), QPointF(4, y));
        shot.annotations.back().text = text;
        ++y;
    }
    return shot;
}

// Stands in for output rendering: the shot's own picture with a stripe whose
// width tells the label and markers apart, so tests can see which shot went where.
inline QImage stripeRenderer(const Screenshot& shot, const QString& label, bool showMarkers)
{
    QImage out = shot.image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&out);
    const int stripe = label.isEmpty() ? 0 : (label.at(0).unicode() - u'A' + 1) * 2 + (showMarkers ? 1 : 0);
    painter.fillRect(QRect(0, 0, stripe, 2), Qt::black);
    return out;
}

inline QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

inline QStringList entries(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name);
}

// A private temporary root with the preferences file, a clipboard and the
// bridge over it, rendering with stripeRenderer and counting its renders.
template <typename Board>
struct SeriesParts {
    QTemporaryDir root;
    QSettings settings{root.filePath(QStringLiteral("prefs.ini")), QSettings::IniFormat};
    Board board;
    int renders = 0;
    ClipboardBridge bridge{board, root.path(), [this](const Screenshot& s, const QString& l, bool m) {
                               ++renders;
                               return stripeRenderer(s, l, m);
                           }};
};

inline platform::ActiveWindow window(quint32 id)
{
    platform::ActiveWindow w;
    w.window = id;
    w.pid = 4000 + id;
    return w;
}

// The model on a fake clipboard and a fake clock: delayed steps wait in `steps`
// until the test runs them; the hooks play the X server (active window, XTEST,
// activation).
class SeriesModelTest : public ::testing::Test, public SeriesParts<FakeClipboardBackend> {
protected:
    struct Step { int ms; std::function<void()> run; };

    std::deque<Step> steps;
    std::optional<platform::ActiveWindow> active = window(7);
    bool permission = true;
    bool postSucceeds = true;
    QVector<quint32> posted, activated;
    QStringList alerts;
    int beeps = 0;
    std::unique_ptr<AppModel> model = makeModel();

    std::unique_ptr<AppModel> makeModel()
    {
        auto m = std::make_unique<AppModel>(bridge, settings);
        m->alert = [this](const QString& s) { alerts << s; };
        m->beep = [this] { ++beeps; };
        PasteHandOff& h = m->handOff();
        h.pastePermission = [this] { return permission; };
        h.postPaste = [this](quint32 w) {
            if (postSucceeds)
                posted << w;
            return postSucceeds;
        };
        h.activeWindow = [this] { return active; };
        h.activateWindow = [this](quint32 w) { activated << w; };
        h.after = [this](int ms, std::function<void()> run) { steps.push_back({ms, std::move(run)}); };
        return m;
    }

    // Runs the earliest pending step, which must have been scheduled with `ms`.
    void runStep(int ms)
    {
        ASSERT_FALSE(steps.empty()) << "no step pending";
        Step step = std::move(steps.front());
        steps.pop_front();
        EXPECT_EQ(step.ms, ms);
        step.run();
    }

    // One shot with these comments, saved from the editor for a chat.
    void saveSeries(const QStringList& comments = {QStringLiteral("первый"), QStringLiteral("второй")})
    {
        const Screenshot shot = shotWithComments(comments);
        ASSERT_TRUE(model->save(shot, shot.annotations, true));
    }

    // The hand-off flags that are set, the steps pending and the pastes posted, in one line.
    std::string handOff() const
    {
        std::string s;
        for (auto [on, name] : {std::pair{model->pastePending(), "pending "}, {model->transferInProgress(), "transfer "},
                                {model->awaitingComments(), "awaiting "}})
            s += on ? name : "";
        return s + "steps " + std::to_string(steps.size()) + " posted " + std::to_string(posted.size());
    }

    QByteArray clipboardText() const { return board.publishedData(QStringLiteral("text/plain")); }
    bool imagesOnClipboard() const { return !board.publishedData(QStringLiteral("image/png")).isEmpty(); }
};

} // namespace tarnwick::test
