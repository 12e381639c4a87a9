#pragma once

// Screenshots of real programs in data/screens, read as the program reads them.

#include "render/recognition/ScreenTextRecognizer.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QStringList>

#include <algorithm>

namespace tarnwick::testing {

inline QImage screenshot(const QString& name)
{
    const QImage image(QStringLiteral(TARNWICK_RENDER_TEST_DATA "/screens/%1.png").arg(name));
    EXPECT_FALSE(image.isNull()) << name.toStdString();
    return image;
}

inline QStringList readLines(const QImage& image)
{
    const auto text = ScreenTextRecognizer::recognize(image);
    if (!text)
        return {};
    QStringList lines;
    for (const QString& line : text->split(u'\n'))
        lines.append(line.simplified());
    return lines;
}

// Whether the recogniser reads `line` as one of the lines of screenshot `name`; all it read
// where not.
inline ::testing::AssertionResult readsLine(const char* name, const QString& line)
{
    const QStringList lines = readLines(screenshot(name));
    if (lines.contains(line))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << name << " reads no line \"" << line.toStdString() << "\" in: " << lines.join(" | ").toStdString();
}

// Whether a line the recogniser reads in screenshot `name` holds `part`; all it read where not.
inline ::testing::AssertionResult readsLineWith(const char* name, const QString& part)
{
    const QStringList lines = readLines(screenshot(name));
    if (std::any_of(lines.begin(), lines.end(), [&](const QString& line) { return line.contains(part); }))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << name << " reads no line with \"" << part.toStdString() << "\" in: " << lines.join(" | ").toStdString();
}

} // namespace tarnwick::testing
