#pragma once

#include <QProcess>
#include <QSet>
#include <QStringList>

namespace tarnwick::test {

inline QByteArray runTool(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.start(program, arguments);
    process.waitForFinished(60000);
    return process.readAllStandardOutput();
}

// The picture on screen at `seconds` (of a file with up to 30 frames a second), as RGB bytes.
inline QByteArray pictureAt(const QString& file, double seconds)
{
    return runTool("ffmpeg", {"-v", "error", "-i", file, "-vf", "fps=30", "-ss", QString::number(seconds), "-frames:v",
                              "1", "-f", "rawvideo", "-pix_fmt", "rgb24", "-"});
}

// MD5 sums of the packets of `streams` as stored, undecoded, in file order.
inline QList<QByteArray> packetList(const QString& file, const QString& streams = "0:v")
{
    QList<QByteArray> hashes;
    for (const QByteArray& line :
         runTool("ffmpeg", {"-v", "error", "-i", file, "-map", streams, "-c", "copy", "-f", "framemd5", "-"}).split('\n'))
        if (!line.startsWith('#') && !line.isEmpty())
            hashes.append(line.split(',').value(5).trimmed()); // side data may follow the sum
    return hashes;
}

inline QSet<QByteArray> packetHashes(const QString& file, const QString& streams = "0:v")
{
    const QList<QByteArray> list = packetList(file, streams);
    return QSet<QByteArray>(list.begin(), list.end());
}

} // namespace tarnwick::test
