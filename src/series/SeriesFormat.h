#pragma once

#include "series/Screenshot.h"

#include <QString>
#include <QVector>

namespace tarnwick {

// One numbered comment of a series: its marker ("A1", "B2", …) and its text as stored.
struct SeriesComment {
    QString marker;
    QString text;
    friend bool operator==(const SeriesComment&, const SeriesComment&) = default;
};

// The comment texts of a series, as they go to the clipboard and into saved folders.
struct SeriesFormat {
    static QVector<SeriesComment> comments(const QVector<Screenshot>& shots);
    // "A1 text" lines joined by "\n", no trailing break.
    static QString plainText(const QVector<Screenshot>& shots);
    // "**A1** text" paragraphs joined by blank lines, no trailing break.
    static QString markdown(const QVector<Screenshot>& shots);
};

} // namespace tarnwick
