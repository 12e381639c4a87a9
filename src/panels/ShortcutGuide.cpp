#include "panels/ShortcutGuide.h"

#include "platform/KeyNames.h"
#include "series/Annotation.h"

namespace tarnwick::ShortcutGuide {
namespace {

const QString separator = QStringLiteral(" — ");

QStringList editorEntries()
{
    QStringList entries{
        QStringLiteral("⌘↩ — Сохранить разметку / комментарий"),
        QStringLiteral("⌘Z — Отменить изменение"),
        QStringLiteral("Tab — Скопировать цвет под курсором и закрыть редактор"),
        QStringLiteral("⌘+ / ⌘− — Увеличить / уменьшить масштаб вдвое"),
        QStringLiteral("⌘0 — Вернуть 100%"),
        QStringLiteral("Колесо — Масштаб с шагом 25%"),
        QStringLiteral("Пробел + перетаскивание — Переместить холст"),
        QStringLiteral("⌘ с рулеткой, карандашом или выделителем — Горизонталь / вертикаль"),
        QStringLiteral("[ / ] — Уменьшить / увеличить толщину линии на 1 px"),
        QStringLiteral("⌘V — Добавить изображение из буфера"),
        QStringLiteral("⌘C — Скопировать без маркировки и закрыть редактор"),
        QStringLiteral("Enter — Применить кадрирование"),
        QStringLiteral("⇧⌘Z — Повторить изменение"),
        QStringLiteral("Delete — Удалить выбранную разметку"),
        QStringLiteral("← ↑ → ↓ — Сдвинуть выбранный объект на 1 px"),
        QStringLiteral("Shift + ← ↑ → ↓ — Сдвинуть на 10 px"),
        QStringLiteral("Esc — Снять выделение / отменить рисование"),
    };
    // The digit keys pick the toolbar's slots in order; the last slot holds four tools.
    const auto& tools = toolbarTools();
    for (std::size_t i = 0; i < tools.size(); ++i) {
        if (tools[i] == AnnotationTool::magnifier)
            entries << QStringLiteral("9 — Лупа / рулетка / выделитель / QR-код");
        else
            entries << QString::number(i + 1) + separator + title(tools[i]);
    }
    return entries;
}

struct Special {
    const char16_t* keys;
    std::initializer_list<const char16_t*> caps;
    const char16_t* description; // nullptr keeps the line's own
};

const Special specials[] = {
    {u"⌘ с рулеткой, карандашом или выделителем", {u"⌘"}, u"Ровная линия с рулеткой, карандашом или выделителем"},
    {u"Пробел + перетаскивание", {u"Пробел", u"↔"}, u"Переместить холст перетаскиванием"},
    {u"Shift + ← ↑ → ↓", {u"⇧", u"← ↑ → ↓"}, nullptr},
    {u"← ↑ → ↓", {u"← ↑ → ↓"}, nullptr},
};

} // namespace

QVector<Section> sections()
{
    return {
        {QStringLiteral("Во всех приложениях"),
         {QStringLiteral("⌘2 — Снимок области"), QStringLiteral("⇧⌘Пробел — Снимок выбранного окна"),
          QStringLiteral("⇧⌘0 — Скопировать текст с экрана")}},
        {QStringLiteral("При захвате"),
         {QStringLiteral("Esc — Отменить захват"), QStringLiteral("Пробел — Область / окно (при ⌘2)"),
          QStringLiteral("Enter — Завершить снимок со скроллом"), QStringLiteral("Esc — Отменить снимок со скроллом")}},
        {QStringLiteral("В редакторе"), editorEntries()},
        {QStringLiteral("В Tarnwick"),
         {QStringLiteral("⌘O — Открыть изображение"), QStringLiteral("⌘E — Сохранить серию в папку"),
          QStringLiteral("⌘Q — Завершить Tarnwick")}},
        {QStringLiteral("В приложении для вставки"), {QStringLiteral("⌘V — Вставить серию или распознанный текст")}},
    };
}

const std::array<const char*, 5>& symbols()
{
    static constexpr std::array<const char*, 5> names{"scan", "mouse-pointer-2", "pencil-line", "app-window",
                                                      "clipboard-copy"};
    return names;
}

Row row(const QString& entry)
{
    QStringList pieces = entry.split(separator);
    const QString keys = pieces.takeFirst();
    Row result{entry, pieces.join(separator), {}};

    for (const Special& special : specials) {
        if (keys != QStringView(special.keys))
            continue;
        QStringList caps;
        for (const char16_t* cap : special.caps)
            caps << QString::fromUtf16(cap);
        result.combinations << caps;
        if (special.description)
            result.description = QString::fromUtf16(special.description);
        return result;
    }

    static const QString modifiers = QStringLiteral("⇧⌘⌥⌃");
    for (QString alternative : keys.split(QStringLiteral(" / "))) {
        QStringList caps;
        while (!alternative.isEmpty() && modifiers.contains(alternative.front())) {
            caps << QString(alternative.front());
            alternative.remove(0, 1);
        }
        if (!alternative.isEmpty())
            caps << alternative;
        result.combinations << caps;
    }
    return result;
}

QString capText(const QString& cap) { return platform::keyText(cap); }

QStringList shownCaps(const QStringList& combination)
{
    static const QString modifiers = QStringLiteral("⇧⌘⌥⌃");
    QStringList shown;
    QString held;
    for (const QString& cap : combination) {
        if (cap.size() == 1 && modifiers.contains(cap)) {
            held += cap;
            continue;
        }
        // A key list ("← ↑ → ↓") is no single key for keyText to name.
        const QString key = capText(cap);
        shown << (held.isEmpty() ? key : cap.contains(u' ') ? capText(held) + u'+' + key : capText(held + cap));
        held.clear();
    }
    if (!held.isEmpty())
        shown << capText(held);
    return shown;
}

QString legend()
{
    return capText(QStringLiteral("⌘")) + QStringLiteral("   ") + capText(QStringLiteral("⇧")) + u'\n' +
           capText(QStringLiteral("⌥")) + QStringLiteral("   ") + capText(QStringLiteral("⌃"));
}

} // namespace tarnwick::ShortcutGuide
