#include "series/TransferPacket.h"

#include <QImage>
#include <cmath>

namespace tarnwick {
namespace {

constexpr double maximumRichImageWidth = 900;

// RTF takes 7-bit text; everything else goes out as \uN? with N a signed 16-bit unit.
void appendRtfText(QByteArray& out, const QString& text)
{
    for (QChar c : text) {
        const char16_t u = c.unicode();
        if (u == u'\\' || u == u'{' || u == u'}') {
            out += '\\';
            out += static_cast<char>(u);
        } else if (u == u'\n') {
            out += "\\line ";
        } else if (u == u'\t') {
            out += "\\tab ";
        } else if (u < 0x20) {
            continue; // other control characters have no meaning in a comment
        } else if (u < 0x80) {
            out += static_cast<char>(u);
        } else {
            out += "\\u" + QByteArray::number(static_cast<qint16>(u)) + '?';
        }
    }
}

void appendRtfPicture(QByteArray& out, const QByteArray& png)
{
    QImage image;
    if (!image.loadFromData(png, "PNG") || image.width() <= 0)
        return;
    // One point per output pixel; a twip is a twentieth of a point.
    const double scale = std::min(maximumRichImageWidth / image.width(), 1.0);
    const auto goalWidth = static_cast<qint64>(std::lround(image.width() * scale * 20));
    const auto goalHeight = static_cast<qint64>(std::lround(image.height() * scale * 20));
    out += "{\\pict\\pngblip\\picw" + QByteArray::number(image.width()) + "\\pich" + QByteArray::number(image.height())
         + "\\picwgoal" + QByteArray::number(goalWidth) + "\\pichgoal" + QByteArray::number(goalHeight) + '\n';
    const QByteArray hex = png.toHex();
    for (qsizetype i = 0; i < hex.size(); i += 128)
        out += hex.mid(i, 128) + '\n';
    out += "}\\par\n";
}

} // namespace

QString title(TransferMode mode)
{
    switch (mode) {
    case TransferMode::chat: return QStringLiteral("Для чатов: снимки → текст");
    case TransferMode::combined: return QStringLiteral("Снимки и комментарии");
    case TransferMode::images: return QStringLiteral("Только снимки");
    case TransferMode::comments: return QStringLiteral("Только комментарии");
    }
    return {};
}

QList<QUrl> TransferPacket::urls() const
{
    QList<QUrl> out;
    for (const QString& file : files)
        out << QUrl::fromLocalFile(file);
    return out;
}

QString TransferContent::escapeHtml(const QString& text)
{
    QString out = text;
    out.replace(u'&', QStringLiteral("&amp;"));
    out.replace(u'<', QStringLiteral("&lt;"));
    out.replace(u'>', QStringLiteral("&gt;"));
    out.replace(u'"', QStringLiteral("&quot;"));
    out.replace(u'\n', QStringLiteral("<br>"));
    return out;
}

QString TransferContent::html(const QVector<SeriesComment>& comments, const QVector<QByteArray>& images)
{
    QString out = QStringLiteral("<html><body>");
    for (qsizetype i = 0; i < images.size(); ++i) {
        out += QStringLiteral("<p><img alt=\"") + shotLabel(i)
             + QStringLiteral("\" style=\"max-width:100%;height:auto\" src=\"data:image/png;base64,")
             + QString::fromLatin1(images[i].toBase64()) + QStringLiteral("\"></p>");
    }
    for (const SeriesComment& c : comments)
        out += QStringLiteral("<p><strong>") + c.marker + QStringLiteral("</strong> ") + escapeHtml(c.text) + QStringLiteral("</p>");
    out += QStringLiteral("</body></html>");
    return out;
}

QByteArray TransferContent::rtf(const QVector<SeriesComment>& comments, const QVector<QByteArray>& images)
{
    QByteArray out = "{\\rtf1\\ansi\\ansicpg1252\\uc1\\deff0{\\fonttbl{\\f0\\fswiss\\fcharset0 Sans;}}\n\\f0\\fs28\n";
    for (const QByteArray& png : images)
        appendRtfPicture(out, png);
    for (const SeriesComment& c : comments) {
        out += "{\\b ";
        appendRtfText(out, c.marker + u' ');
        out += "}";
        appendRtfText(out, c.text);
        out += "\\par\n";
    }
    out += '}';
    return out;
}

} // namespace tarnwick
