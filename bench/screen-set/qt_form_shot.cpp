// Draws a Qt Widgets form as the toolkit paints it on screen and saves its picture:
//   qt_form_shot FORM.json OUT.png
// The form file names the font, its pixel size, a group box of labelled fields, a check box, a
// list with one row selected and a row of buttons. Run under QT_SCALE_FACTOR for the scales.
#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWidget>

#include <cstdio>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: qt_form_shot FORM.json OUT.png\n");
        return 2;
    }
    QFile descriptionFile(QString::fromLocal8Bit(argv[1]));
    if (!descriptionFile.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", argv[1]);
        return 1;
    }
    const QJsonObject description = QJsonDocument::fromJson(descriptionFile.readAll()).object();
    QFont font(description["font"].toString());
    font.setPixelSize(description["px"].toInt(13));
    app.setFont(font);
    if (description.contains("style"))
        app.setStyleSheet(description["style"].toString());

    QWidget window;
    auto* column = new QVBoxLayout(&window);
    column->setContentsMargins(description["margin"].toInt(8), description["margin"].toInt(8), description["margin"].toInt(8),
                               description["margin"].toInt(8));
    auto* group = new QGroupBox(description["group"].toString());
    auto* form = new QFormLayout(group);
    for (const QJsonValue& row : description["rows"].toArray()) {
        auto* field = new QLineEdit(row.toArray().at(1).toString());
        field->setMinimumWidth(description["fieldWidth"].toInt(220));
        form->addRow(row.toArray().at(0).toString(), field);
    }
    column->addWidget(group);
    if (description.contains("check")) {
        auto* check = new QCheckBox(description["check"].toString());
        check->setChecked(description["checked"].toBool());
        column->addWidget(check);
    }
    const QJsonArray items = description["list"].toArray();
    if (!items.isEmpty()) {
        auto* list = new QListWidget;
        for (const QJsonValue& item : items)
            list->addItem(item.toString());
        list->setCurrentRow(description["selected"].toInt());
        list->setFixedHeight(list->sizeHintForRow(0) * int(items.size()) + 2 * list->frameWidth() + 8);
        column->addWidget(list);
    }
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    for (const QJsonValue& title : description["buttons"].toArray()) {
        auto* button = new QPushButton(title.toString());
        buttons->addWidget(button);
        if (title == description["buttons"].toArray().first())
            button->setDefault(true);
    }
    column->addLayout(buttons);
    window.show();
    // The window's first paint sets the check box and list looks the style keeps for a shown window.
    QApplication::processEvents();
    const QPixmap picture = window.grab();
    if (!picture.save(QString::fromLocal8Bit(argv[2]))) {
        std::fprintf(stderr, "cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
