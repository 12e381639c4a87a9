#pragma once

#include <QString>

class QApplication;

namespace tarnwick {

// Everything the windows rely on before the first one opens: Qt's Russian catalogue, Russian as
// Qt's default locale (type names, dates and sizes in the file dialogs, whatever the system's
// locale; the C library's locale, which FFmpeg and Tesseract read, is left alone), the dark
// style and the look of the menus, tips and questions over the windows. main() and every test that opens a window call it. Returns an empty string, or the
// Russian sentence naming the missing catalogue. GUI thread, once per application.
QString installProgramLook(QApplication& app);

} // namespace tarnwick
