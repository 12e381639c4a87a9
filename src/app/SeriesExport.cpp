#include "app/SeriesExport.h"

#include "app/AppShell.h"
#include "editor/window/EditorExportWindow.h"
#include "platform/ImageScale.h"
#include "platform/PrivateFiles.h"
#include "platform/TarnwickError.h"
#include "render/ScreenshotRenderer.h"
#include "series/SeriesFormat.h"

#include <QBuffer>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QImageWriter>
#include <QUuid>

#include <cerrno>
#include <sys/stat.h>

namespace tarnwick {
namespace {

void writeFile(const QString& path, const QByteArray& data)
{
    platform::writeFileAtomically(path, data, platform::FileAccess::user);
}

// A folder of our own: mkdir fails when the name exists, and a fresh suffix is tried.
QString createFolder(const QString& parent, const std::function<QString()>& name)
{
    int error = 0;
    for (int attempt = 0; attempt < 16; ++attempt) {
        const QString path = QDir(parent).filePath(name());
        if (::mkdir(QFile::encodeName(path).constData(), 0777) == 0)
            return path;
        error = errno;
        if (error != EEXIST)
            break;
    }
    // The folder's own name: the user picked it a moment ago, and the reason stays in view.
    const QString shown = QDir(parent).dirName();
    throw TarnwickError::message(QStringLiteral("Не удалось создать папку для серии в «%1»: %2.")
                                     .arg(shown.isEmpty() ? QDir::toNativeSeparators(parent) : shown,
                                          platform::fileErrorReason(error)));
}

} // namespace

QString SeriesExport::folderName()
{
    return QStringLiteral("Tarnwick ") + QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH.mm.ss"))
         + u' ' + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper().left(4);
}

QString SeriesExport::write(const QVector<Screenshot>& shots, const QString& parent, const std::function<QString()>& name)
{
    const QString folder = createFolder(parent, name);
    try {
        const QDir dir(folder);
        for (qsizetype i = 0; i < shots.size(); ++i) {
            const QString label = shotLabel(i);
            QByteArray png;
            QBuffer buffer(&png);
            buffer.open(QIODevice::WriteOnly);
            QImage image = ScreenshotRenderer::render(shots[i], label, true);
            platform::setPixelsPerPoint(image, shots[i].pixelsPerPoint);
            if (!QImageWriter(&buffer, "png").write(image))
                throw TarnwickError::message(QStringLiteral("Не удалось сохранить снимок ") + label + u'.');
            writeFile(dir.filePath(label + QStringLiteral(".png")), png);
        }
        writeFile(dir.filePath(QStringLiteral("Комментарии.txt")), SeriesFormat::plainText(shots).toUtf8());
        writeFile(dir.filePath(QStringLiteral("Комментарии.md")), SeriesFormat::markdown(shots).toUtf8());
    } catch (...) {
        QDir(folder).removeRecursively();
        throw;
    }
    return folder;
}

void AppShell::exportSeries()
{
    if (model_->shots().isEmpty() || !admit(ShellCommand::exportSeries))
        return;
    const std::optional<QString> parent = asking([this] {
        return hooks_.chooseFolder(
            QStringLiteral("Выберите папку. Tarnwick создаст внутри отдельную папку со снимками и комментариями."),
            QStringLiteral("Сохранить серию"), QString());
    });
    if (!parent)
        return;
    // Pasted into a chat while the dialog was open, the series went with the paste.
    if (model_->shots().isEmpty()) {
        model_->setStatus(QStringLiteral("Серия уже пуста — сохранять нечего."));
        return;
    }
    // The write is a session of its own; what ran before it goes on after it.
    const ShellSession before = session_;
    setSession(ShellSession::exporting);
    try {
        const QString folder = SeriesExport::write(model_->shots(), *parent);
        model_->setStatus(QStringLiteral("Серия сохранена в папку"));
        hooks_.reveal(folder);
    } catch (const std::exception& error) {
        model_->showError(error);
    }
    if (session_ == ShellSession::exporting)
        setSession(before);
}

void AppShell::chooseImageSaveDirectory(const std::function<void(std::optional<QString>)>& completion)
{
    const QPointer<EditorExportWindow> session = editorWindow_;
    if (!session) {
        completion(std::nullopt);
        return;
    }
    const std::optional<QString> folder = asking([this] {
        return hooks_.chooseFolder(
            QStringLiteral("Выберите папку для снимков без маркировки. Tarnwick запомнит её для следующих сохранений."),
            QStringLiteral("Выбрать папку"), model_->imageSaveDirectory().value_or(QString()));
    });
    // The editor may have closed, or another opened, while the question was open.
    completion(session && session == editorWindow_ ? folder : std::nullopt);
}

} // namespace tarnwick
