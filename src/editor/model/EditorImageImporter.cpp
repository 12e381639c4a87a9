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

namespace {

// Local files first; only when none gives an image, the image formats in order, whose bytes
// `bytesOf` fetches one by one, and then an image handed over already decoded.
template <class BytesOf, class Decoded>
EditorImageImporter::Result readOffered(const QStringList& files, const QStringList& formats, BytesOf bytesOf,
                                        Decoded decoded)
{
    using Importer = EditorImageImporter;
    Importer::Result result;
    for (const QString& file : files) {
        bool offered = false;
        if (std::optional<QImage> image = Importer::readFile(file, &offered))
            result.images.push_back(*image);
        else if (offered)
            result.unreadable = true;
    }
    if (!result.images.isEmpty())
        return result;

    bool encoded = false;
    for (const QString& format : formats) {
        if (formatOfMimeType(format).isEmpty())
            continue;
        encoded = true;
        if (std::optional<QImage> image = Importer::decode(bytesOf(format), format)) {
            result.images.push_back(*image);
            result.unreadable = false;
            return result;
        }
        result.unreadable = true;
    }
    // Only an image handed over already decoded (inside this process); encoded
    // data that failed above must not be decoded again without the limits.
    if (!encoded)
        if (std::optional<QImage> image = Importer::normalized(decoded())) {
            result.images.push_back(*image);
            result.unreadable = false;
        }
    return result;
}

} // namespace

QStringList EditorImageImporter::localFiles(const QMimeData& data)
{
    QStringList files;
    for (const QUrl& url : data.urls())
        if (url.isLocalFile())
            files << url.toLocalFile();
    return files;
}

EditorImageImporter::Result EditorImageImporter::fromMimeData(const QMimeData& data)
{
    // The clipboard's formats are fetched only as far as they are needed.
    return readOffered(
        localFiles(data), data.formats(), [&data](const QString& format) { return data.data(format); },
        [&data] { return data.hasImage() ? qvariant_cast<QImage>(data.imageData()) : QImage(); });
}

EditorImageImporter::Offer EditorImageImporter::copy(const QMimeData& data)
{
    Offer offer;
    offer.files = localFiles(data);
    for (const QString& format : data.formats())
        if (!formatOfMimeType(format).isEmpty())
            offer.encoded.push_back({format, data.data(format)});
    if (offer.encoded.isEmpty() && data.hasImage())
        offer.decoded = qvariant_cast<QImage>(data.imageData());
    return offer;
}

EditorImageImporter::Result EditorImageImporter::fromOffer(const Offer& offer)
{
    QStringList formats;
    for (const auto& [format, bytes] : offer.encoded)
        formats << format;
    return readOffered(
        offer.files, formats,
        [&offer](const QString& format) {
            for (const auto& [name, bytes] : offer.encoded)
                if (name == format)
                    return bytes;
            return QByteArray();
        },
        [&offer] { return offer.decoded; });
}

} // namespace tarnwick
