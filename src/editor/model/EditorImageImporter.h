#pragma once

#include <QImage>
#include <QString>
#include <QVector>
#include <optional>
#include <utility>

class QFile;
class QMimeData;
class QImageReader;

namespace tarnwick {

// Reads the images the editor inserts as layers: from clipboard contents and
// from files. Every read checks the declared size before decoding and decodes
// under an explicit allocation limit, so a huge or hostile image is refused
// instead of exhausting memory. PNG, JPEG, WebP, BMP, GIF and TIFF; EXIF
// orientation is applied. GUI thread or any thread.
class EditorImageImporter {
public:
    EditorImageImporter() = delete;

    static constexpr int allocationLimitMB = 256;

    struct Result {
        QVector<QImage> images;
        // Something was offered as an image but could not be read (too large, broken).
        bool unreadable = false;
    };

    // Local image files first, in order; only when none of them gives an image,
    // the image data itself. Blocks while a file's disk does.
    static Result fromMimeData(const QMimeData& data);
    // The local files `data` offers, in order.
    static QStringList localFiles(const QMimeData& data);

    // What a clipboard offers, copied out of it on the GUI thread, so that its files can be
    // read on another.
    struct Offer {
        QStringList files;
        // The image formats offered, in order, with their bytes.
        QVector<std::pair<QString, QByteArray>> encoded;
        // An image handed over already decoded (inside this process), when no format is encoded.
        QImage decoded;
    };
    static Offer copy(const QMimeData& data);
    // As fromMimeData, from the copy; on any thread.
    static Result fromOffer(const Offer& offer);
    // One file; nothing when it cannot be read within the limits, or is no regular file.
    // `offered` tells whether it looked like an image of a supported format at all. It
    // blocks while the file's disk does (a network disk that stalls): not on the GUI thread.
    static std::optional<QImage> readFile(const QString& path, bool* offered = nullptr);
    // Opens `path` into `file` for reading, refusing at once anything but a regular file.
    static bool openFile(const QString& path, QFile& file);
    // Encoded image bytes (`format` as a MIME type, e.g. "image/png").
    static std::optional<QImage> decode(const QByteArray& bytes, const QString& format);
    // The bitmap as a layer takes it: one pixel per point; nothing when a side is under 1 pixel.
    static std::optional<QImage> normalized(const QImage& image);
    // What `reader` gives within the limits, normalized.
    static std::optional<QImage> read(QImageReader& reader);
};

} // namespace tarnwick
