#include "app/SeriesExport.h"
#include "platform/TarnwickError.h"
#include "series/SeriesFormat.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using tarnwick::Annotation;
using tarnwick::Screenshot;
using tarnwick::SeriesExport;

namespace {

Screenshot shot(QColor color, const QString& comment)
{
    QImage image(80, 60, QImage::Format_ARGB32_Premultiplied);
    image.fill(color);
    Screenshot s = Screenshot::make(image, 1);
    Annotation note;
    note.id = QUuid::createUuid();
    note.kind = tarnwick::AnnotationTool::comment;
    note.start = note.end = QPointF(10, 10);
    note.text = comment;
    s.annotations << note;
    return s;
}

QByteArray read(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

QStringList entries(const QString& folder) { return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot); }

TEST(SeriesExport, WritesEveryShotAndBothCommentFilesIntoAFolderOfItsOwn)
{
    QTemporaryDir parent;
    // A folder of the first name exists already: it is left alone and a fresh name is taken.
    ASSERT_TRUE(QDir(parent.path()).mkpath(QStringLiteral("taken")));
    ASSERT_TRUE(QFile(parent.filePath(QStringLiteral("taken/keep.txt"))).open(QIODevice::WriteOnly));
    QStringList names{QStringLiteral("taken"), QStringLiteral("fresh")};
    const QVector<Screenshot> shots{shot(Qt::red, QStringLiteral("первый")), shot(Qt::green, QStringLiteral("второй")),
                                    shot(Qt::blue, QStringLiteral("третий"))};

    const QString folder = SeriesExport::write(shots, parent.path(), [&] { return names.takeFirst(); });

    EXPECT_EQ(folder, parent.filePath(QStringLiteral("fresh")));
    EXPECT_EQ(entries(folder), (QStringList{"A.png", "B.png", "C.png", "Комментарии.md", "Комментарии.txt"}));
    EXPECT_EQ(read(folder + QStringLiteral("/Комментарии.txt")), tarnwick::SeriesFormat::plainText(shots).toUtf8());
    EXPECT_EQ(read(folder + QStringLiteral("/Комментарии.md")), tarnwick::SeriesFormat::markdown(shots).toUtf8());
    const QImage b(folder + QStringLiteral("/B.png"));
    EXPECT_EQ(b.size(), QSize(80, 60));
    EXPECT_EQ(b.pixelColor(70, 50), QColor(Qt::green));
    EXPECT_EQ(entries(parent.filePath(QStringLiteral("taken"))), QStringList{"keep.txt"});

    // Two exports within one second differ in their last four characters.
    const QString a = SeriesExport::folderName(), c = SeriesExport::folderName();
    EXPECT_TRUE(a.startsWith(QStringLiteral("Tarnwick ")) && a.size() == c.size() && a != c);
    EXPECT_EQ(a.left(a.size() - 4), c.left(c.size() - 4));
}

TEST(SeriesExport, AFailureLeavesNothingBehindAndNeverTouchesFoldersThatWereNotOurs)
{
    QTemporaryDir parent;
    const QVector<Screenshot> shots{shot(Qt::red, QStringLiteral("x"))};
    // Below a regular file nothing can be created.
    ASSERT_TRUE(QFile(parent.filePath(QStringLiteral("file"))).open(QIODevice::WriteOnly));
    EXPECT_THROW(SeriesExport::write(shots, parent.filePath(QStringLiteral("file"))), tarnwick::TarnwickError);

    // Every name taken: the export fails, the existing folder keeps its contents.
    ASSERT_TRUE(QDir(parent.path()).mkpath(QStringLiteral("taken/inner")));
    EXPECT_THROW(SeriesExport::write(shots, parent.path(), [] { return QStringLiteral("taken"); }), tarnwick::TarnwickError);
    EXPECT_EQ(entries(parent.filePath(QStringLiteral("taken"))), QStringList{"inner"});

    // A shot that cannot be rendered removes the folder the export made.
    Screenshot broken = shots.front();
    broken.image = QImage();
    broken.pixelSize = QSizeF();
    broken.canvasRect = QRectF();
    broken.composition.reset();
    EXPECT_THROW(SeriesExport::write({shots.front(), broken}, parent.path(), [] { return QStringLiteral("new"); }),
                 std::exception);
    EXPECT_EQ(entries(parent.path()), (QStringList{"file", "taken"}));
}

} // namespace
