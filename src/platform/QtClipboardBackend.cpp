#include "platform/QtClipboardBackend.h"

#include "platform/X11Internal.h"

#include <xcb/xcb.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

namespace tarnwick::platform {

namespace {

const ClipboardFormat* findFormat(const ClipboardContent& content, QStringView type)
{
    for (const ClipboardFormat& format : content) {
        if (format.mimeType == type)
            return &format;
    }
    return nullptr;
}

bool onX11()
{
    return QGuiApplication::platformName() == QLatin1String("xcb");
}

// Qt's X11 clipboard adds targets of its own for some MIME types: for
// "text/uri-list" it also offers "text/x-moz-url" and "text/plain" (so a chat
// program would paste the file URLs as text beside the images), for
// "image/ppm" and "image/pbm" the PIXMAP and BITMAP atoms. It recognises those
// types by their exact QString, while it names the X atom through a C string;
// a trailing NUL in the listed type keeps the atom's name and skips the extras.
bool qtAddsTargets(const QString& type)
{
    return type == QLatin1String("text/uri-list") || type == QLatin1String("image/ppm")
        || type == QLatin1String("image/pbm");
}

class ExactMimeData : public QMimeData {
public:
    ExactMimeData(ClipboardContent content, bool shieldTypes)
        : content_(std::move(content)), shieldTypes_(shieldTypes)
    {
    }

    QStringList formats() const override
    {
        QStringList types;
        for (const ClipboardFormat& format : content_) {
            if (shieldTypes_ && qtAddsTargets(format.mimeType))
                types << format.mimeType + QChar(0);
            else
                types << format.mimeType;
        }
        return types;
    }

    bool hasFormat(const QString& type) const override { return findFormat(content_, canonical(type)); }

protected:
    QVariant retrieveData(const QString& type, QMetaType) const override
    {
        if (const ClipboardFormat* format = findFormat(content_, canonical(type)))
            return format->data;
        // An invalid answer for "text/plain" makes QMimeData turn the URL list
        // into text, and Qt's X11 clipboard hands that out for UTF8_STRING,
        // STRING and TEXT although they are not offered: a chat would paste
        // the file URLs as a message. An empty answer is no text.
        if (type == QLatin1String("text/plain"))
            return QByteArray();
        return {};
    }

private:
    static QStringView canonical(const QString& type)
    {
        QStringView view(type);
        return view.endsWith(QChar(0)) ? view.chopped(1) : view;
    }

    ClipboardContent content_;
    bool shieldTypes_;
};

ClipboardContent withoutDuplicates(const ClipboardContent& content)
{
    ClipboardContent unique;
    for (const ClipboardFormat& format : content) {
        if (!findFormat(unique, format.mimeType))
            unique << format;
    }
    return unique;
}

// Whether the X server names a window of our own connection as the owner of
// CLIPBOARD. Qt learns of a lost selection only when it handles the event; the
// server knows at once.
std::optional<bool> x11OwnsClipboard()
{
    xcb_connection_t* c = x11::qtConnection();
    if (!c)
        return std::nullopt;
    static constexpr char name[] = "CLIPBOARD";
    xcb_intern_atom_reply_t* atom =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, sizeof name - 1, name), nullptr);
    if (!atom)
        return std::nullopt;
    xcb_get_selection_owner_reply_t* owner =
        xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, atom->atom), nullptr);
    std::free(atom);
    if (!owner)
        return std::nullopt;
    const xcb_setup_t* setup = xcb_get_setup(c);
    const bool ours = owner->owner != XCB_NONE
        && (owner->owner & ~setup->resource_id_mask) == setup->resource_id_base;
    std::free(owner);
    return ours;
}

} // namespace

QtClipboardBackend::QtClipboardBackend(QObject* parent) : QObject(parent)
{
    connect(QGuiApplication::clipboard(), &QClipboard::changed, this, [this](QClipboard::Mode mode) {
        if (mode == QClipboard::Clipboard)
            clipboardChanged();
    });
}

void QtClipboardBackend::clipboardChanged()
{
    ++changes_;
    if (!writing_)
        forget();
}

void QtClipboardBackend::forget()
{
    owned_ = false;
    published_.clear();
}

bool QtClipboardBackend::publish(const ClipboardContent& content)
{
    ClipboardContent unique = withoutDuplicates(content);
    const std::uint64_t before = changes_;
    writing_ = true;
    QGuiApplication::clipboard()->setMimeData(new ExactMimeData(unique, onX11()), QClipboard::Clipboard);
    writing_ = false;
    // Every write counts as a change, also where the platform stays silent.
    if (changes_ == before)
        ++changes_;
    published_ = std::move(unique);
    owned_ = true;
    if (!ownsClipboard()) {
        forget();
        return false;
    }
    return true;
}

void QtClipboardBackend::clear()
{
    if (!ownsClipboard()) {
        forget();
        return;
    }
    const std::uint64_t before = changes_;
    writing_ = true;
    QGuiApplication::clipboard()->clear(QClipboard::Clipboard);
    writing_ = false;
    if (changes_ == before)
        ++changes_;
    forget();
}

bool QtClipboardBackend::ownsClipboard() const
{
    if (!owned_)
        return false;
    return x11OwnsClipboard().value_or(true);
}

QByteArray QtClipboardBackend::publishedData(const QString& mimeType) const
{
    if (!ownsClipboard())
        return {};
    const ClipboardFormat* format = findFormat(published_, mimeType);
    return format ? format->data : QByteArray();
}

} // namespace tarnwick::platform
