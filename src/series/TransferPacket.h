#pragma once

#include "series/Enumerations.h"
#include "series/SeriesFormat.h"

#include <QString>
#include <QStringList>
#include <QUrl>
#include <QVector>

namespace tarnwick {

enum class TransferMode { chat, combined, images, comments };
template <> struct EnumInfo<TransferMode> {
    static constexpr std::array<std::string_view, 4> names{"chat", "combined", "images", "comments"};
};
QString title(TransferMode mode);

// One prepared series: its folder with one PNG per shot and the comment files.
struct TransferPacket {
    QString token;          // identifies the packet on the clipboard
    QString directory;      // the packet's folder
    QStringList files;      // one PNG per shot, in series order
    QString text;
    QString markdown;
    QVector<SeriesComment> comments;

    QList<QUrl> urls() const;
};

// The rich forms of a packet's comments, as publication writes them.
struct TransferContent {
    // "&", "<", ">", the double quote and line feeds made safe for HTML.
    static QString escapeHtml(const QString& text);
    // images: the PNG bytes of each shot, inlined in combined mode; empty otherwise.
    static QString html(const QVector<SeriesComment>& comments, const QVector<QByteArray>& images);
    // RTF of the comments (markers bold, 14 pt); images first, none wider than 900 pt.
    static QByteArray rtf(const QVector<SeriesComment>& comments, const QVector<QByteArray>& images);
};

} // namespace tarnwick
