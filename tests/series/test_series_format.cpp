#include "series/SeriesFormat.h"
#include "series/TransferPacket.h"

#include <QBuffer>
#include <QImage>
#include <QRegularExpression>
#include <gtest/gtest.h>

using namespace tarnwick;

namespace {

Screenshot shotWith(QStringList comments)
{
    Screenshot shot;
    shot.pixelSize = QSizeF(400, 300);
    for (const QString& text : comments) {
        Annotation c;
        c.id = QUuid::createUuid();
        c.kind = AnnotationTool::comment;
        c.start = c.end = QPointF(10, 10);
        c.text = text;
        shot.annotations << c;
    }
    return shot;
}

QByteArray png(int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(Qt::red);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

} // namespace

TEST(SeriesFormatTest, MarkersRestartPerShotAndSkipShotsWithout)
{
    const QVector<Screenshot> shots{shotWith({QStringLiteral("x"), QStringLiteral("y")}), shotWith({}), shotWith({QStringLiteral("z")})};
    EXPECT_EQ(SeriesFormat::plainText(shots), QStringLiteral("A1 x\nA2 y\nC1 z"));
    EXPECT_EQ(SeriesFormat::markdown(shots), QStringLiteral("**A1** x\n\n**A2** y\n\n**C1** z"));
    EXPECT_EQ(SeriesFormat::plainText({}), QString());
    EXPECT_EQ(SeriesFormat::plainText({shotWith({})}), QString());
}

TEST(SeriesFormatTest, TextsAreKeptAsStored)
{
    const QVector<Screenshot> shots{shotWith({QString(), QStringLiteral("a*b <c> & d\nвторая")})};
    EXPECT_EQ(SeriesFormat::plainText(shots), QStringLiteral("A1 \nA2 a*b <c> & d\nвторая"));
    EXPECT_EQ(SeriesFormat::markdown(shots), QStringLiteral("**A1** \n\n**A2** a*b <c> & d\nвторая"));

    QVector<Screenshot> many(27, shotWith({}));
    many[26] = shotWith({QStringLiteral("q"), QStringLiteral("r")});
    EXPECT_EQ(SeriesFormat::plainText(many), QStringLiteral("?1 q\n?2 r"));
}

TEST(TransferContentTest, HtmlEscapingAndInlineImages)
{
    EXPECT_EQ(TransferContent::escapeHtml(QStringLiteral("a<b & \"c\"\nd>")),
              QStringLiteral("a&lt;b &amp; &quot;c&quot;<br>d&gt;"));
    const QVector<SeriesComment> comments{{QStringLiteral("A1"), QStringLiteral("a<b & \"c\"\nd")}};
    EXPECT_EQ(TransferContent::html(comments, {}),
              QStringLiteral("<html><body><p><strong>A1</strong> a&lt;b &amp; &quot;c&quot;<br>d</p></body></html>"));

    const QByteArray image = png(2, 2);
    const QString combined = TransferContent::html({}, {image, image});
    EXPECT_TRUE(combined.startsWith(QStringLiteral("<html><body><p><img alt=\"A\" style=\"max-width:100%;height:auto\" src=\"data:image/png;base64,")
                                    + QString::fromLatin1(image.toBase64()) + QStringLiteral("\"></p><p><img alt=\"B\"")));
}

TEST(TransferContentTest, RtfEscapesEverythingOutsideAscii)
{
    const QByteArray rtf = TransferContent::rtf({{QStringLiteral("A1"), QStringLiteral("Привет {\\par}\nёж 😀")}}, {});
    // No raw bytes above 127, and RTF control words in the text cannot break out.
    for (char c : rtf)
        ASSERT_LT(static_cast<unsigned char>(c), 128u);
    EXPECT_TRUE(rtf.contains("\\u1055?")); // П
    EXPECT_TRUE(rtf.contains("\\{\\\\par\\}"));
    EXPECT_TRUE(rtf.contains("\\line "));
    EXPECT_TRUE(rtf.contains("\\u-10179?\\u-8704?")); // 😀 as a surrogate pair
    EXPECT_TRUE(rtf.startsWith("{\\rtf1"));
    EXPECT_TRUE(rtf.endsWith("}"));
}

TEST(TransferContentTest, RtfImagesNeverWiderThan900Points)
{
    const QByteArray narrow = TransferContent::rtf({}, {png(600, 100)});
    EXPECT_TRUE(narrow.contains("\\picwgoal12000\\pichgoal2000"));
    const QByteArray wide = TransferContent::rtf({}, {png(1800, 400)});
    EXPECT_TRUE(wide.contains("\\picwgoal18000\\pichgoal4000"));
    // An image that does not decode is left out of the rich text.
    EXPECT_FALSE(TransferContent::rtf({}, {QByteArray("not a png")}).contains("\\pict"));
}
