// Draws the recognition benchmark set: screen text of 9–48 px as desktops show it (hinted,
// smoothed), dark on light, light on dark, on coloured and gradient grounds, Russian, English
// and mixed, headings beside labels, columns and terminal listings. Each case is NAME.png with
// its text in NAME.txt, one line per line of the picture in reading order.
//
//     make_recognition_set <folder>

#include <QDir>
#include <QFile>
#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QTextStream>

#include <cstdio>
#include <functional>
#include <vector>

namespace {

const QStringList russian{
    "Файл сохранён в папке «Загрузки», размер 12,4 МБ.",
    "Папка с загрузками заполнена на девяносто три процента.",
    "Встреча перенесена на четверг, начало в 14:30.",
    "Нажмите «Сохранить», чтобы применить новые настройки.",
    "Мы на связи до вечера, пишите в чат или на почту.",
};
const QStringList english{
    "Build finished: 3 warnings, 0 errors in 41.7 s.",
    "The quick brown fox jumps over the lazy dog.",
    "Click Save to apply the new settings to all windows.",
    "Meeting moved to Thursday 14:30, room 5B.",
};
const QStringList mixed{
    "Откройте файл settings.json в редакторе Visual Studio Code.",
    "Move the folder Документы to Архив before Friday.",
    "Версия 2.4.1 (build 1187) доступна для Linux и Windows.",
};
const QStringList longListing{
    "drwxr-xr-x  2 anna users  4096 Nov 28 09:14 Documents",
    "-rw-r--r--  1 anna users 18342 Dec  1 10:05 report.txt",
    "-rw-r--r--  1 anna users   512 Dec  2 18:30 notes.md",
    "drwxr-xr-x  5 anna users  4096 Dec  3 11:47 Проекты",
    "-rw-r--r--  1 anna users  2210 Dec  4 10:05 Отчёт_за_ноябрь.txt",
};
const QStringList libListing{
    "$ ls -la /usr/lib64",
    "total 16",
    "drwxr-xr-x  2 root root 4096 Oct  7 12:40 .",
    "drwxr-xr-x 14 root root 4096 Oct  7 12:40 ..",
    "lrwxrwxrwx  1 root root   32 Jun 13 15:21 ld-linux-x86-64.so.2",
};
const QStringList shortListing{
    "bin    lib32  lib64   old   root",
    "boot   libx32 media   opt   run",
    "dev    etc    home    proc  srv",
};

QFont screenFont(const QString& family, int pixelSize, bool bold = false)
{
    QFont font(family);
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    font.setHintingPreference(QFont::PreferFullHinting);
    font.setStyleStrategy(QFont::PreferAntialias);
    return font;
}

// A flat colour, or a gradient across the whole picture, left to right or top to bottom.
struct Ground {
    QColor from;
    QColor to = from;
    bool vertical = false;

    Ground(QColor colour) : from(colour) {}
    Ground(Qt::GlobalColor colour) : from(colour) {}
    Ground(QColor a, QColor b, bool downwards = false) : from(a), to(b), vertical(downwards) {}

    QBrush brush(QSize size) const
    {
        QLinearGradient g(0, 0, vertical ? 0 : size.width(), vertical ? size.height() : 0);
        g.setColorAt(0, from);
        g.setColorAt(1, to);
        return QBrush(g);
    }
};

Ground gradient(QColor from, QColor to, bool vertical = false) { return Ground(from, to, vertical); }

// One picture being drawn, with the lines written on it in reading order.
struct Page {
    QImage image;
    QStringList truth;

    Page(int width, int height, const Ground& ground)
        : image(width, height, QImage::Format_RGB32)
    {
        QPainter p(&image);
        p.fillRect(image.rect(), ground.brush(image.size()));
    }

    // A line at its baseline.
    void write(const QFont& font, QColor ink, int x, int baseline, const QString& text)
    {
        QPainter p(&image);
        p.setFont(font);
        p.setPen(ink);
        p.drawText(x, baseline, text);
        truth.append(text);
    }

    // Lines one under another, 1.6 sizes apart, starting a size and a half from the top.
    int lines(const QFont& font, QColor ink, int x, const QStringList& texts, int top = -1)
    {
        const int size = font.pixelSize();
        const int step = size * 8 / 5;
        int baseline = top >= 0 ? top : size * 2;
        for (const QString& text : texts) {
            write(font, ink, x, baseline, text);
            baseline += step;
        }
        return baseline;
    }
};


// A page tall enough for `count` lines of `size` px text and as wide as the widest of them.
Page pageFor(const QFont& font, const QStringList& texts, const Ground& ground)
{
    const QFontMetrics metrics(font);
    int width = 0;
    for (const QString& text : texts)
        width = std::max(width, metrics.horizontalAdvance(text));
    const int size = font.pixelSize();
    return Page(width + 2 * size, size * 8 / 5 * int(texts.size()) + 2 * size, ground);
}

Page prose(const QString& family, int size, const QStringList& texts, QColor ink, const Ground& ground)
{
    const QFont font = screenFont(family, size);
    Page page = pageFor(font, texts, ground);
    page.lines(font, ink, size, texts);
    return page;
}

Page headingBesideLabel(int heading, int label, const QString& title, const QString& note)
{
    const QFont big = screenFont("DejaVu Sans", heading);
    const QFont small = screenFont("DejaVu Sans", label);
    const int left = QFontMetrics(big).horizontalAdvance(title) + 2 * heading;
    Page page(left + QFontMetrics(small).horizontalAdvance(note) + 40, heading * 5 / 2, Qt::white);
    const int baseline = heading * 7 / 4;
    page.write(big, QColor(25, 25, 25), 20, baseline, title);
    // The label's middle level with the heading's middle.
    page.write(small, QColor(90, 90, 90), left, baseline - heading * 3 / 8 + label * 3 / 8, note);
    return page;
}

Page twoColumns(int size, const QStringList& left, const QStringList& right)
{
    const QFont font = screenFont("DejaVu Sans", size);
    const QFontMetrics metrics(font);
    int leftWidth = 0, rightWidth = 0;
    for (const QString& text : left)
        leftWidth = std::max(leftWidth, metrics.horizontalAdvance(text));
    for (const QString& text : right)
        rightWidth = std::max(rightWidth, metrics.horizontalAdvance(text));
    const int gap = 6 * size;
    Page page(leftWidth + gap + rightWidth + 2 * size, size * 8 / 5 * int(left.size()) + 2 * size, QColor(252, 252, 252));
    const int step = size * 8 / 5;
    for (int i = 0; i < left.size(); ++i) {
        page.write(font, QColor(30, 30, 30), size, 2 * size + i * step, left[i]);
        page.write(font, QColor(30, 30, 30), size + leftWidth + gap, 2 * size + i * step, right[i]);
    }
    return page;
}

// A dark title bar with a light title, then messages on white.
Page chat(int size)
{
    const QStringList messages{"Привет! Во сколько сегодня встреча?", "В три часа, в переговорной на втором этаже.",
                               "Don't forget the slides for the demo, please."};
    const QFont body = screenFont("DejaVu Sans", size);
    Page page(QFontMetrics(body).horizontalAdvance(messages[1]) + 4 * size, 3 * size + 3 * size * 8 / 5 + 2 * size, Qt::white);
    {
        QPainter p(&page.image);
        p.fillRect(0, 0, page.image.width(), 3 * size, QColor(38, 42, 51));
    }
    page.write(screenFont("DejaVu Sans", size + 1, true), Qt::white, size, 2 * size, "Рабочий чат");
    page.lines(body, QColor(30, 30, 30), size, messages, 3 * size + 2 * size);
    return page;
}

// Labels and values of a settings form: two short cells to a row.
Page form(int size)
{
    const QStringList labels{"Имя пользователя:", "Сервер:", "Порт:", "Шифрование:"};
    const QStringList values{"anna.petrova", "mail.example.ru", "993", "SSL/TLS"};
    const QFont font = screenFont("DejaVu Sans", size);
    Page page(28 * size, size * 2 * int(labels.size()) + 2 * size, QColor(240, 240, 240));
    for (int i = 0; i < labels.size(); ++i) {
        const int baseline = 2 * size + 2 * size * i;
        page.write(font, QColor(40, 40, 40), size, baseline, labels[i]);
        page.truth.removeLast();
        page.write(font, QColor(40, 40, 40), 14 * size, baseline, values[i]);
        page.truth.removeLast();
        page.truth.append(labels[i] + " " + values[i]);
    }
    return page;
}

// A button: light text on a coloured rounded box, on a light window.
Page button(int size, QColor colour, QColor ink, const QString& text)
{
    const QFont font = screenFont("DejaVu Sans", size, true);
    const int width = QFontMetrics(font).horizontalAdvance(text);
    Page page(width + 8 * size, 5 * size, QColor(245, 245, 245));
    {
        QPainter p(&page.image);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(colour);
        p.drawRoundedRect(QRectF(2 * size, size, width + 4 * size, 3 * size), size / 2.0, size / 2.0);
    }
    page.write(font, ink, 4 * size, size + 2 * size + size / 3, text);
    return page;
}

struct Case {
    QString name;
    std::function<Page()> draw;
};

std::vector<Case> cases()
{
    const QColor ink(25, 25, 25), paper(255, 255, 255), light(225, 225, 225), dark(30, 30, 32);
    const QString sans = "DejaVu Sans", serif = "DejaVu Serif", mono = "DejaVu Sans Mono", nimbus = "Nimbus Sans";
    std::vector<Case> all{
        // Dark on light prose, every size.
        {"sans-09-ru-en", [=] { return prose(sans, 9, {russian[0], english[0]}, ink, paper); }},
        {"sans-11-mixed", [=] { return prose(sans, 11, mixed, ink, paper); }},
        {"sans-13-ru", [=] { return prose(sans, 13, russian.mid(0, 3), ink, paper); }},
        {"sans-14-ru-short-words", [=] { return prose(sans, 14, {russian[1], russian[2], russian[4]}, ink, paper); }},
        {"sans-16-en", [=] { return prose(sans, 16, english, ink, paper); }},
        {"sans-20-mixed", [=] { return prose(sans, 20, mixed.mid(0, 2), ink, paper); }},
        {"sans-28-ru", [=] { return prose(sans, 28, {russian[3]}, ink, paper); }},
        {"sans-36-en", [=] { return prose(sans, 36, {english[3]}, ink, paper); }},
        {"sans-48-ru", [=] { return prose(sans, 48, {"Добро пожаловать"}, ink, paper); }},
        {"serif-12-en", [=] { return prose(serif, 12, english.mid(1, 2), ink, paper); }},
        {"serif-18-ru", [=] { return prose(serif, 18, russian.mid(2, 2), ink, paper); }},
        {"nimbus-15-mixed", [=] { return prose(nimbus, 15, mixed.mid(1, 2), ink, paper); }},
        {"nimbus-24-en", [=] { return prose(nimbus, 24, {english[2]}, ink, paper); }},
        // Light on dark.
        {"dark-sans-12-ru", [=] { return prose(sans, 12, russian.mid(0, 2), light, dark); }},
        {"dark-sans-14-en", [=] { return prose(sans, 14, english.mid(0, 3), light, dark); }},
        {"dark-sans-20-mixed", [=] { return prose(sans, 20, {mixed[1]}, light, dark); }},
        {"dark-sans-32-ru", [=] { return prose(sans, 32, {"Настройки экрана"}, Qt::white, QColor(45, 45, 50)); }},
        {"dark-mono-13-code", [=] { return prose(mono, 13, {"for (int i = 0; i < count; ++i)", "    total += values[i];", "return total; // сумма"}, QColor(200, 220, 200), QColor(25, 28, 30)); }},
        // Terminal listings.
        {"term-11-ls-l-dark", [=] { return prose(mono, 11, longListing, light, dark); }},
        {"term-13-ls-l-dark", [=] { return prose(mono, 13, longListing, light, dark); }},
        {"term-13-lib64-dark", [=] { return prose(mono, 13, libListing, light, QColor(0, 0, 0)); }},
        {"term-15-ls-l-dark", [=] { return prose(mono, 15, longListing.mid(0, 3), light, dark); }},
        {"term-12-ls-l-light", [=] { return prose(mono, 12, longListing, ink, paper); }},
        {"term-14-ls-l-light", [=] { return prose(mono, 14, longListing, ink, paper); }},
        {"term-13-ls-dark", [=] { return prose(mono, 13, shortListing, light, dark); }},
        {"term-16-ls-light", [=] { return prose(mono, 16, shortListing, ink, paper); }},
        // Coloured grounds.
        {"button-16-blue", [=] { return button(16, QColor(40, 100, 220), Qt::white, "Сохранить изменения"); }},
        {"button-13-green", [=] { return button(13, QColor(40, 150, 70), Qt::white, "Install update"); }},
        {"note-14-yellow", [=] { return prose(sans, 14, {russian[2], english[3]}, QColor(60, 50, 20), QColor(255, 240, 160)); }},
        {"tag-20-white-on-red", [=] { return prose(sans, 20, {"Ошибка соединения"}, Qt::white, QColor(200, 50, 50)); }},
        {"panel-12-on-blue", [=] { return prose(sans, 12, {english[2], russian[3]}, QColor(20, 30, 60), QColor(200, 220, 245)); }},
        // Gradient grounds.
        {"gradient-40-target-window", [=] { return prose(sans, 40, {"Target window"}, Qt::white, gradient(QColor(20, 60, 160), QColor(90, 160, 240))); }},
        {"gradient-24-blue-ru", [=] { return prose(sans, 24, {"Новое окно открыто"}, Qt::white, gradient(QColor(30, 70, 170), QColor(110, 170, 240))); }},
        {"gradient-32-warm", [=] { return prose(sans, 32, {"Новое окно"}, Qt::white, gradient(QColor(150, 40, 90), QColor(240, 150, 60))); }},
        {"gradient-48-purple", [=] { return prose(sans, 48, {"Welcome"}, Qt::white, gradient(QColor(70, 30, 120), QColor(180, 90, 200))); }},
        {"gradient-18-grey-dark-text", [=] { return prose(sans, 18, {english[1], russian[4]}, ink, gradient(QColor(170, 170, 175), QColor(255, 255, 255))); }},
        {"gradient-14-night-vertical", [=] { return prose(sans, 14, {russian[0], english[2]}, light, gradient(QColor(20, 25, 50), QColor(60, 70, 110), true)); }},
        // A heading beside a label.
        {"heading-44-label-16", [=] { return headingBesideLabel(44, 16, "Заголовок", "Изменено вчера в 18:40"); }},
        {"heading-36-label-13", [=] { return headingBesideLabel(36, 13, "Overview", "Last updated 3 days ago"); }},
        {"heading-28-label-12", [=] { return headingBesideLabel(28, 12, "Отчёт за ноябрь", "PDF, 2.4 MB"); }},
        {"heading-48-label-14", [=] { return headingBesideLabel(48, 14, "Настройки", "Общие"); }},
        // Columns, forms, chat.
        {"columns-13", [=] { return twoColumns(13, {russian[0], russian[1], russian[2]}, {english[0], english[1], english[3]}); }},
        {"columns-16", [=] { return twoColumns(16, {"Входящие", "Отправленные", "Черновики"}, {"12 новых", "340 писем", "2 письма"}); }},
        {"form-14", [=] { return form(14); }},
        {"chat-14", [=] { return chat(14); }},
        {"files-12-mono-mixed", [=] { return prose(mono, 12, {"settings.json  Документы  notes.md", "Архив_2024.zip  report.txt  Фото"}, ink, paper); }},
    };
    return all;
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_recognition_set <folder>\n");
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    if (!folder.mkpath(".")) {
        std::fprintf(stderr, "cannot make %s\n", argv[1]);
        return 1;
    }
    for (const Case& c : cases()) {
        const Page page = c.draw();
        if (!page.image.convertToFormat(QImage::Format_RGB888).save(folder.filePath(c.name + ".png"))) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(c.name));
            return 1;
        }
        QFile truth(folder.filePath(c.name + ".txt"));
        if (!truth.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            std::fprintf(stderr, "cannot write %s.txt\n", qPrintable(c.name));
            return 1;
        }
        truth.write((page.truth.join(u'\n') + u'\n').toUtf8());
    }
    return 0;
}
