#include "series/ClipboardBridge.h"

#include "platform/ClipboardBackend.h"
#include "platform/ImageScale.h"
#include "platform/PrivateFiles.h"
#include "series/Geometry.h"
#include "platform/TarnwickError.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUuid>
#include <future>
#include <sys/stat.h>
#include <utility>

namespace tarnwick {
namespace {

const QString clipboardFolderName = QStringLiteral("Tarnwick-Clipboard");
const QString unavailable = QStringLiteral("Буфер обмена недоступен. Попробуйте снова.");

QString uuidText() { return QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper(); }

// Only names we give: QUuid::fromString also reads "<uuid>.png" or "{<uuid>}".
bool isUuidName(const QString& name)
{
    const QUuid uuid = QUuid::fromString(name);
    return !uuid.isNull() && name == uuid.toString(QUuid::WithoutBraces).toUpper();
}

QByteArray encodePng(QImage image, double pixelsPerPoint)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (image.isNull())
        return {};
    // The file says the scale it was taken at, so a reopened shot measures the same.
    platform::setPixelsPerPoint(image, pixelsPerPoint);
    if (!image.save(&buffer, "PNG"))
        return {};
    return bytes;
}

QByteArray readFile(const QString& path)
{
    try {
        QFile file;
        if (file.open(platform::openForReading(path), QIODevice::ReadOnly, QFileDevice::AutoCloseHandle))
            return file.readAll();
    } catch (const platform::FileError&) {
        // a pipe or a folder put in its place is not waited on: said as any file not read
    }
    throw TarnwickError::message(QStringLiteral("Не удалось прочитать файл снимка %1.").arg(QFileInfo(path).fileName()));
}

void removeQuietly(const QString& folder)
{
    if (!folder.isEmpty())
        platform::removePrivateTree(folder);
}

} // namespace

ClipboardBridge::ClipboardBridge(platform::ClipboardBackend& board, QString root, Renderer renderer)
    : board_(board), root_(std::move(root)), renderer_(std::move(renderer))
{
    cleanExpiredFiles();
}

QString ClipboardBridge::clipboardFolder() const { return QDir(root_).filePath(clipboardFolderName); }

QString ClipboardBridge::newFolder()
{
    const QString folder = QDir(clipboardFolder()).filePath(uuidText());
    platform::createPrivateDirectory(root_, folder);
    return folder;
}

QVector<QByteArray> ClipboardBridge::encodeShots(const QVector<Screenshot>& shots)
{
    QVector<QByteArray> pngs(shots.size());
    QVector<QImage> rendered(shots.size());
    // Rendering touches the shots' caches and stays on this thread; encoding, the
    // slow part, runs in parallel across shots.
    for (qsizetype i = 0; i < shots.size(); ++i) {
        auto it = encoded_.constFind(shots[i].id);
        if (it != encoded_.constEnd() && it->label == shotLabel(i) && samePicture(it->shot, shots[i]))
            pngs[i] = it->png;
        else
            rendered[i] = renderer_(shots[i], shotLabel(i), true);
    }
    std::vector<std::future<QByteArray>> jobs(static_cast<size_t>(shots.size()));
    for (qsizetype i = 0; i < shots.size(); ++i)
        if (pngs[i].isEmpty())
            jobs[static_cast<size_t>(i)] = std::async(std::launch::async, encodePng, rendered[i], shots[i].pixelsPerPoint);
    for (qsizetype i = 0; i < shots.size(); ++i) {
        if (!pngs[i].isEmpty())
            continue;
        pngs[i] = jobs[static_cast<size_t>(i)].get();
        if (pngs[i].isEmpty())
            throw TarnwickError::message(QStringLiteral("Не удалось записать снимок ") + shotLabel(i) + u'.');
    }
    QHash<QUuid, Encoded> kept;
    for (qsizetype i = 0; i < shots.size(); ++i)
        kept.insert(shots[i].id, Encoded{shots[i], shotLabel(i), pngs[i]});
    encoded_ = std::move(kept);
    return pngs;
}

void ClipboardBridge::prepare(const QVector<Screenshot>& shots, TransferMode mode)
{
    if (shots.isEmpty())
        return;
    const QString folder = newFolder();
    try {
        TransferPacket packet;
        packet.directory = folder;
        const QVector<QByteArray> pngs = encodeShots(shots);
        for (qsizetype i = 0; i < shots.size(); ++i) {
            const QString path = QDir(folder).filePath(shotLabel(i) + QStringLiteral(".png"));
            platform::writeFileAtomically(path, pngs[i]);
            packet.files << path;
        }
        packet.text = SeriesFormat::plainText(shots);
        packet.markdown = SeriesFormat::markdown(shots);
        platform::writeFileAtomically(QDir(folder).filePath(QStringLiteral("Комментарии.txt")), packet.text.toUtf8());
        platform::writeFileAtomically(QDir(folder).filePath(QStringLiteral("Комментарии.md")), packet.markdown.toUtf8());
        packet.comments = SeriesFormat::comments(shots);
        packet.token = uuidText();
        publish(packet, mode);
        // The previous packet's folder stays: a chat may still read the files pasted from it.
        packet_ = std::move(packet);
    } catch (...) {
        removeQuietly(folder);
        throw;
    }
}

QList<std::pair<QString, QByteArray>> ClipboardBridge::formats(const TransferPacket& packet, TransferMode mode)
{
    QList<std::pair<QString, QByteArray>> out;
    const bool images = mode != TransferMode::comments && !packet.files.isEmpty();
    QVector<QByteArray> pngs;
    if (images) {
        pngs.reserve(packet.files.size());
        for (const QString& file : packet.files)
            pngs << readFile(file);
        QByteArray uriList, gnome = "copy";
        for (const QUrl& url : packet.urls()) {
            uriList += url.toEncoded() + "\r\n";
            gnome += '\n' + url.toEncoded();
        }
        out.append({QStringLiteral("image/png"), pngs.front()});
        out.append({QStringLiteral("text/uri-list"), uriList});
        out.append({QStringLiteral("x-special/gnome-copied-files"), gnome});
    }
    out.append({tokenType(), packet.token.toUtf8()});
    if (mode == TransferMode::combined || mode == TransferMode::comments) {
        const QVector<QByteArray> inline_ = mode == TransferMode::combined ? pngs : QVector<QByteArray>{};
        out.append({QStringLiteral("text/plain"), packet.text.toUtf8()});
        out.append({QStringLiteral("text/plain;charset=utf-8"), packet.text.toUtf8()});
        out.append({QStringLiteral("text/html"), TransferContent::html(packet.comments, inline_).toUtf8()});
        out.append({QStringLiteral("text/rtf"), TransferContent::rtf(packet.comments, inline_)});
    }
    return out;
}

void ClipboardBridge::publish(const TransferPacket& packet, TransferMode mode)
{
    platform::ClipboardContent content;
    for (auto& [type, data] : formats(packet, mode))
        content.append({type, data});
    if (!board_.publish(content))
        throw TarnwickError::message(unavailable);
    changeCount_ = board_.changeCount();
    mode_ = mode;
}

bool ClipboardBridge::isCurrent() const
{
    return packet_ && changeCount_ && board_.changeCount() == *changeCount_ && board_.ownsClipboard()
        && board_.publishedData(tokenType()) == packet_->token.toUtf8();
}

bool ClipboardBridge::copyText(const QString& text, bool allowWhitespace)
{
    if ((allowWhitespace ? text : text.trimmed()).isEmpty())
        return false;
    const QByteArray utf8 = text.toUtf8();
    if (!board_.publish({{QStringLiteral("text/plain"), utf8}, {QStringLiteral("text/plain;charset=utf-8"), utf8}}))
        throw TarnwickError::message(unavailable);
    changeCount_.reset();
    return true;
}

QByteArray ClipboardBridge::unmarkedPng(const Screenshot& shot) const
{
    const QByteArray png = encodePng(renderer_(shot, QString(), false), shot.pixelsPerPoint);
    if (png.isEmpty())
        throw TarnwickError::message(QStringLiteral("Не удалось подготовить снимок без маркировки."));
    return png;
}

QString ClipboardBridge::copyUnmarkedImage(const Screenshot& shot)
{
    const QByteArray png = unmarkedPng(shot);
    const QString folder = newFolder();
    try {
        const QString path = QDir(folder).filePath(QStringLiteral("Screenshot.png"));
        platform::writeFileAtomically(path, png);
        const QByteArray url = QUrl::fromLocalFile(path).toEncoded();
        const platform::ClipboardContent content{
            {QStringLiteral("image/png"), png},
            {QStringLiteral("text/uri-list"), url + "\r\n"},
            {QStringLiteral("x-special/gnome-copied-files"), "copy\n" + url},
        };
        if (!board_.publish(content))
            throw TarnwickError::message(unavailable);
        changeCount_.reset();
        return path;
    } catch (...) {
        removeQuietly(folder);
        throw;
    }
}

void ClipboardBridge::cleanExpiredFiles(const QDateTime& now)
{
    try {
        // Never walk a folder that a link or another user put in our place.
        platform::createPrivateDirectory(root_, clipboardFolder());
    } catch (const TarnwickError&) {
        return;
    }
    const QDir dir(clipboardFolder());
    for (const QString& name : dir.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System)) {
        if (!isUuidName(name))
            continue;
        const QString path = dir.filePath(name);
        // The entry's own time: QFileInfo would read a link's target.
        struct stat info {};
        if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
            continue;
        if (now.toSecsSinceEpoch() - qint64(info.st_mtime) <= expirySeconds)
            continue;
        platform::removePrivateTree(path);
    }
}

} // namespace tarnwick
