// A stand-in for a chat window in the hand-off tests: a Qt window of its own
// process that pastes on Ctrl+V (Qt also takes it with a non-Latin layout
// active) and prints one JSON line per paste on stdout: the MIME types
// offered, the text, the size and a pixel of the image, the file URLs.
// The first line names its X window once it is shown.
// A "paste" line on stdin pastes as well, for servers without XTEST; it goes
// round through the X server first, as a key press would (see PasteRequests).

#include <QAbstractNativeEventFilter>
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
#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
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

// Pastes asked for on stdin. Qt keeps the clipboard owner's target list until
// it handles the server's notice of a new owner, and a line on stdin may be
// read before that notice: the paste would offer the previous owner's types.
// So a request is a client message the receiver sends itself; the server
// queues it behind every notice of an owner change made before, as it does a
// key press.
class PasteRequests : public QAbstractNativeEventFilter {
public:
    explicit PasteRequests(const QWidget& window) : window_(window)
    {
        auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
        c_ = x11 ? x11->connection() : nullptr;
        if (!c_)
            return;
        static constexpr char name[] = "TARNWICK_TEST_PASTE";
        xcb_intern_atom_reply_t* reply =
            xcb_intern_atom_reply(c_, xcb_intern_atom(c_, 0, sizeof name - 1, name), nullptr);
        if (reply)
            atom_ = reply->atom;
        std::free(reply);
        qApp->installNativeEventFilter(this);
    }

    ~PasteRequests() override
    {
        if (atom_)
            qApp->removeNativeEventFilter(this);
    }

    void request()
    {
        if (!atom_) {
            paste();
            return;
        }
        xcb_client_message_event_t message;
        std::memset(&message, 0, sizeof message);
        message.response_type = XCB_CLIENT_MESSAGE;
        message.format = 32;
        message.window = static_cast<xcb_window_t>(window_.winId());
        message.type = atom_;
        // No event mask: the server hands it to the window's creator, this program.
        xcb_send_event(c_, 0, message.window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&message));
        xcb_flush(c_);
    }

    bool nativeEventFilter(const QByteArray& type, void* data, qintptr*) override
    {
        if (type != "xcb_generic_event_t")
            return false;
        const auto* event = static_cast<const xcb_generic_event_t*>(data);
        if ((event->response_type & 0x7f) != XCB_CLIENT_MESSAGE
            || reinterpret_cast<const xcb_client_message_event_t*>(event)->type != atom_)
            return false;
        // Outside the event handling: reading the clipboard waits for events itself.
        QMetaObject::invokeMethod(qApp, &paste, Qt::QueuedConnection);
        return true;
    }

private:
    const QWidget& window_;
    xcb_connection_t* c_ = nullptr;
    xcb_atom_t atom_ = XCB_NONE;
};

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Чат"));
    window.resize(320, 240);
    QShortcut shortcut(QKeySequence::Paste, &window);
    QObject::connect(&shortcut, &QShortcut::activated, &paste);
    PasteRequests requests(window);

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char buffer[256];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0) {
            input.setEnabled(false);
            return;
        }
        if (QByteArray(buffer, static_cast<int>(n)).contains("paste"))
            requests.request();
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
