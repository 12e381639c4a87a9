#pragma once

#include "series/Screenshot.h"

#include <QString>
#include <QVector>

namespace tarnwick {

// A series saved for other programs: a new folder "Tarnwick <date time> XXXX"
// inside a folder the user chose, one PNG per shot named by its label, and
// "Комментарии.txt" and "Комментарии.md". GUI thread (shots render there).
struct SeriesExport {
    SeriesExport() = delete;

    // Makes the folder and writes every file, each atomically. The folder is
    // always a new one: an existing folder of that name is never used. Any
    // failure removes what this call made and throws TarnwickError.
    static QString write(const QVector<Screenshot>& shots, const QString& parent);

    // The name of a new series folder for now.
    static QString folderName();
};

} // namespace tarnwick
