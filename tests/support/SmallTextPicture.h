#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QList>
#include <QPainter>
#include <QString>
#include <QStringList>

namespace tarnwick::test {

// Small screen text as windows and terminals show it: two sentences and an `ls` listing in
// five columns, in a UI font (dark on light) or a terminal font (light on dark), smoothed or
// not. The recognition test and its benchmark read the same picture.
struct SmallTextPicture {
    static inline const QStringList sentences{"Файл сохранён в папке «Загрузки», размер 12,4 МБ.",
                                              "Build finished: 3 warnings, 0 errors in 41.7 s."};
    static inline const QList<QStringList> listing{{"bin", "lib32", "lib64", "old", "root"},
                                                   {"boot", "libx32", "lost+found", "opt", "run"},
                                                   {"dev", "etc", "home", "media", "srv"}};

    int size; // pixels
    bool mono;
    bool smooth;

    int line() const { return size * 8 / 5; }
    // Where listing cell `column` of row `row` is drawn: its left edge and its baseline.
    int column(int i) const { return size + 9 * size * i; }
    int baseline(int row) const { return line() * (row + 4); }

    QImage image() const
    {
        QFont font(mono ? "DejaVu Sans Mono" : "DejaVu Sans");
        font.setPixelSize(size);
        if (!smooth)
            font.setStyleStrategy(QFont::NoAntialias);
        QImage image(60 * size, line() * 7, QImage::Format_ARGB32_Premultiplied);
        image.fill(mono ? QColor(30, 30, 30) : QColor(250, 250, 250));
        QPainter p(&image);
        p.setFont(font);
        p.setPen(mono ? QColor(220, 220, 220) : QColor(20, 20, 20));
        for (int i = 0; i < sentences.size(); ++i)
            p.drawText(size, line() * (i + 1), sentences[i]);
        for (int row = 0; row < listing.size(); ++row)
            for (int i = 0; i < listing[row].size(); ++i)
                p.drawText(column(i), baseline(row), listing[row][i]);
        return image;
    }

    // The text as written, one line per sentence and per listing row.
    static QString wanted()
    {
        QStringList lines = sentences;
        for (const QStringList& row : listing)
            lines.append(row.join(u' '));
        return lines.join(u'\n');
    }
};

} // namespace tarnwick::test
