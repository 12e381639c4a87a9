#include "editor/model/EditorImageImporter.h"

#include "platform/PrivateFiles.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QMimeData>
#include <QUrl>

namespace tarnwick {
namespace {

// Format names as QImageReader knows them.
const QStringList& acceptedFormats()
{
    static const QStringList formats{"png", "jpeg", "jpg", "webp", "bmp", "gif", "tiff", "tif"};
    return formats;
}

QByteArray formatOfMimeType(const QString& mimeType)
{
    if (!mimeType.startsWith(QLatin1String("image/")))
        return {};
    QByteArray name = mimeType.mid(6).toLatin1().toLower();
    if (name == "x-png")
        name = "png";
    if (name == "pjpeg")
        name = "jpeg";
    if (name == "x-ms-bmp" || name == "x-bmp")
        name = "bmp";
    return acceptedFormats().contains(QString::fromLatin1(name)) ? name : QByteArray();
}

} // namespace

std::optional<QImage> EditorImageImporter::read(QImageReader& reader)
{
    reader.setAutoTransform(true);
    reader.setAllocationLimit(allocationLimitMB);
    if (!acceptedFormats().contains(QString::fromLatin1(reader.format().toLower())))
        return std::nullopt;
    // The header's size first: decoding is never started for more than the limit.
    const QSize size = reader.size();
    const qint64 bytes = qint64(size.width()) * qint64(size.height()) * 4;
    if (!size.isValid() || size.isEmpty() || bytes > qint64(allocationLimitMB) * 1024 * 1024)
        return std::nullopt;
    QImage image;
    if (!reader.read(&image))
        return std::nullopt;
    return normalized(image);
}

std::optional<QImage> EditorImageImporter::readFile(const QString& path, bool* offered)
{
    QFile file;
    if (offered)
        *offered = acceptedFormats().contains(QFileInfo(path).suffix().toLower());
    if (!openFile(path, file))
        return std::nullopt;
    QImageReader reader(&file);
    if (offered)
        *offered = *offered || acceptedFormats().contains(QString::fromLatin1(reader.format().toLower()));
    return read(reader);
}

bool EditorImageImporter::openFile(const QString& path, QFile& file)
{
    // A named pipe, a device or a folder is refused at once: opening a pipe would wait
    // for a writer that never comes.
    try {
        return file.open(platform::openForReading(path), QIODevice::ReadOnly, QFileDevice::AutoCloseHandle);
    } catch (const TarnwickError&) {
        return false;
    }
}

std::optional<QImage> EditorImageImporter::decode(const QByteArray& bytes, const QString& format)
{
    QByteArray copy = bytes;
    QBuffer buffer(&copy);
    if (!buffer.open(QIODevice::ReadOnly))
        return std::nullopt;
    QImageReader reader(&buffer, formatOfMimeType(format));
    return read(reader);
}

std::optional<QImage> EditorImageImporter::normalized(const QImage& image)
{
    if (image.isNull() || image.width() < 1 || image.height() < 1)
        return std::nullopt;
    QImage out = image.format() == QImage::Format_ARGB32_Premultiplied
        ? image
        : image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (out.isNull())
        return std::nullopt;
    out.setDevicePixelRatio(1);
    return out;
}

EditorImageImporter::Result EditorImageImporter::fromMimeData(const QMimeData& data)
{
    Result result;
    for (const QUrl& url : data.urls()) {
        if (!url.isLocalFile())
            continue;
        bool offered = false;
        if (std::optional<QImage> image = readFile(url.toLocalFile(), &offered))
            result.images.push_back(*image);
        else if (offered)
            result.unreadable = true;
    }
    if (!result.images.isEmpty())
        return result;

    bool encoded = false;
    for (const QString& format : data.formats()) {
        if (formatOfMimeType(format).isEmpty())
            continue;
        encoded = true;
        if (std::optional<QImage> image = decode(data.data(format), format)) {
            result.images.push_back(*image);
            result.unreadable = false;
            return result;
        }
        result.unreadable = true;
    }
    // Only an image handed over already decoded (inside this process); encoded
    // data that failed above must not be decoded again without the limits.
    if (!encoded && data.hasImage())
        if (std::optional<QImage> image = normalized(qvariant_cast<QImage>(data.imageData()))) {
            result.images.push_back(*image);
            result.unreadable = false;
        }
    return result;
}

} // namespace tarnwick
