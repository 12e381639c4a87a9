#pragma once

#include "series/Screenshot.h"

#include <QString>
#include <QVector>
#include <functional>

namespace tarnwick {

// A series saved for other programs: a new folder "Tarnwick <date time> XXXX"
// inside a folder the user chose, one PNG per shot named by its label, and
// "Комментарии.txt" and "Комментарии.md". GUI thread (shots render there).
struct SeriesExport {
    SeriesExport() = delete;

    // Makes the folder and writes every file, each atomically. The folder is
    // always a new one: an existing folder of that name is never used. Any
    // failure removes what this call made and throws TarnwickError.
    // `name` gives the folder names to try.
    static QString write(const QVector<Screenshot>& shots, const QString& parent,
                         const std::function<QString()>& name = folderName);

    // The name of a new series folder for now.
    static QString folderName();
};

} // namespace tarnwick
