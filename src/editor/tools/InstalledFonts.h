#pragma once

#include <QStringList>

namespace tarnwick {

// The font families installed now, as the font database names them. A font added to or removed
// from a font folder since the last call (the user's ~/.local/share/fonts among them) is taken in
// first: fontconfig reads its folders again and Qt rebuilds its family list from it. When nothing
// changed this costs one stat of each font folder and configuration file. While a font folder
// holds what is neither a file nor a folder (a named pipe, which fontconfig would wait on for
// good), the folders are not read again, and `problem` gets the sentence that says so; it is
// emptied otherwise. GUI thread.
QStringList installedFontFamilies(QString* problem = nullptr);

} // namespace tarnwick
