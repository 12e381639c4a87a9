#include "series/SeriesFormat.h"

#include <QStringList>

namespace tarnwick {

QVector<SeriesComment> SeriesFormat::comments(const QVector<Screenshot>& shots)
{
    QVector<SeriesComment> out;
    for (qsizetype i = 0; i < shots.size(); ++i) {
        const QString label = shotLabel(i);
        int number = 0;
        for (const Annotation& comment : shots[i].comments())
            out.push_back({label + QString::number(++number), comment.text});
    }
    return out;
}

QString SeriesFormat::plainText(const QVector<Screenshot>& shots)
{
    QStringList lines;
    for (const SeriesComment& c : comments(shots))
        lines << c.marker + u' ' + c.text;
    return lines.join(u'\n');
}

QString SeriesFormat::markdown(const QVector<Screenshot>& shots)
{
    QStringList paragraphs;
    for (const SeriesComment& c : comments(shots))
        paragraphs << QStringLiteral("**") + c.marker + QStringLiteral("** ") + c.text;
    return paragraphs.join(QStringLiteral("\n\n"));
}

} // namespace tarnwick
