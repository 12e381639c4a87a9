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

// MD5 sums of the video packets as stored, undecoded.
inline QSet<QByteArray> packetHashes(const QString& file)
{
    QSet<QByteArray> hashes;
    for (const QByteArray& line :
         runTool("ffmpeg", {"-v", "error", "-i", file, "-map", "0:v", "-c", "copy", "-f", "framemd5", "-"}).split('\n'))
        if (!line.startsWith('#') && !line.isEmpty())
            hashes.insert(line.split(',').last().trimmed());
    return hashes;
}

} // namespace tarnwick::test
