#include "series/Preferences.h"

namespace tarnwick {
namespace {

const QString keyAutoClear = QStringLiteral("autoClear");
const QString keyShowsTaskbarIcon = QStringLiteral("showsTaskbarIcon");
// Written by earlier versions; still read while the new key is absent.
const QString keyShowsTaskbarIconBefore = QStringLiteral("showsDockIcon");
const QString keyImageSaveDirectory = QStringLiteral("imageSaveDirectory");
const QString keyColorCodeFormat = QStringLiteral("colorCodeFormat");
const QString keyEditorVerticalToolbar = QStringLiteral("editorVerticalToolbar");

// QSettings keeps types only loosely: a real boolean or its text form, else the default.
bool readBool(const QVariant& value, bool fallback)
{
    if (value.typeId() == QMetaType::Bool)
        return value.toBool();
    const QString text = value.toString();
    return text == u"true" ? true : text == u"false" ? false : fallback;
}

} // namespace

Preferences::Preferences(QSettings& settings) : settings_(settings)
{
    const QString directory = settings_.value(keyImageSaveDirectory).toString();
    if (!directory.isEmpty())
        imageSaveDirectory_ = directory;
    if (auto format = fromRaw<ColorCodeFormat>(settings_.value(keyColorCodeFormat).toString()))
        colorCodeFormat_ = *format;
    autoClear_ = readBool(settings_.value(keyAutoClear), true);
    editorVerticalToolbar_ = readBool(settings_.value(keyEditorVerticalToolbar), false);
    showsTaskbarIcon_ = readBool(settings_.value(keyShowsTaskbarIcon, settings_.value(keyShowsTaskbarIconBefore)), false);
}

void Preferences::setAutoClear(bool on)
{
    settings_.setValue(keyAutoClear, on);
    autoClear_ = on;
}

void Preferences::setShowsTaskbarIcon(bool on)
{
    settings_.setValue(keyShowsTaskbarIcon, on);
    showsTaskbarIcon_ = on;
}

void Preferences::setImageSaveDirectory(const QString& cleanPath)
{
    settings_.setValue(keyImageSaveDirectory, cleanPath);
    imageSaveDirectory_ = cleanPath;
}

void Preferences::setColorCodeFormat(ColorCodeFormat format)
{
    settings_.setValue(keyColorCodeFormat, rawString(format));
    colorCodeFormat_ = format;
}

void Preferences::setEditorVerticalToolbar(bool vertical)
{
    settings_.setValue(keyEditorVerticalToolbar, vertical);
    editorVerticalToolbar_ = vertical;
}

} // namespace tarnwick
