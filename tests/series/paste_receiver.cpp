// A stand-in for a chat window in the hand-off tests: a Qt window of its own
// process that pastes on Ctrl+V (Qt also takes it with a non-Latin layout
// active) and prints one JSON line per paste on stdout: the MIME types
// offered, the text, the size and a pixel of the image, the file URLs.
// The first line names its X window once it is shown.
// A "paste" line on stdin pastes as well, for servers without XTEST.

#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMimeData>
#include <QShortcut>
#include <QSocketNotifier>
#include <QTimer>
#include <QUrl>
#include <QWidget>
#include <QWindow>
#include <cstdio>
#include <unistd.h>

namespace {

void printLine(const QJsonObject& object)
{
    const QByteArray line = QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
    std::fwrite(line.constData(), 1, static_cast<std::size_t>(line.size()), stdout);
    std::fflush(stdout);
}

void paste()
{
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    QJsonObject record;
    QJsonArray formats, urls;
    if (data) {
        for (const QString& format : data->formats())
            formats.append(format);
        // Only text offered as text: Qt would also make some of file URLs.
        if (data->formats().contains(QStringLiteral("text/plain")))
            record[QStringLiteral("text")] = data->text();
        QImage image;
        if (data->hasFormat(QStringLiteral("image/png")) && image.loadFromData(data->data(QStringLiteral("image/png")), "PNG")) {
            record[QStringLiteral("width")] = image.width();
            record[QStringLiteral("height")] = image.height();
            record[QStringLiteral("pixel")] = image.pixelColor(image.width() / 2, image.height() / 2).name();
        }
        for (const QUrl& url : data->urls())
            urls.append(url.toString());
    }
    record[QStringLiteral("formats")] = formats;
    record[QStringLiteral("urls")] = urls;
    printLine(record);
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Чат"));
    window.resize(320, 240);
    QShortcut shortcut(QKeySequence::Paste, &window);
    QObject::connect(&shortcut, &QShortcut::activated, &paste);

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char buffer[256];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0) {
            input.setEnabled(false);
            return;
        }
        if (QByteArray(buffer, static_cast<int>(n)).contains("paste"))
            paste();
    });

    window.show();
    // Announce the window once the server has it on screen.
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (!window.windowHandle() || !window.windowHandle()->isExposed())
            return;
        poll.stop();
        printLine({{QStringLiteral("window"), static_cast<qint64>(window.winId())}});
    });
    poll.start(10);
    return app.exec();
}
