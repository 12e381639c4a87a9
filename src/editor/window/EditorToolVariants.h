#pragma once

#include "series/Annotation.h"

#include <QAbstractButton>
#include <QVector>
#include <functional>

class QGridLayout;
class QLabel;

namespace tarnwick {

class EditorState;

// One variant of a tool group: symbol and title, drawn selected or not, in a
// full (symbol over title) or a compact one-line look.
class EditorVariantCard : public QAbstractButton {
    Q_OBJECT
public:
    EditorVariantCard(const QString& title, const QString& symbol, bool compact, QWidget* parent = nullptr);

    // The width the compact look needs for a title: the title at 11 points, medium, plus 44.
    static int compactWidth(const QString& title);

    // `width` is a lower bound in the compact look; `height` counts in the full look.
    void setCardSize(int width, int height);
    void setCompact(bool compact);
    bool isSelectedVariant() const { return isChecked(); }
    void setSelectedVariant(bool selected);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString symbol_;
    bool compact_;
};

// The variant cards of one tool group. A card switches the editor to its
// variant and keeps the selection only when the selected element belongs to
// it, converting it (one undo step) where the variant is a kind of element.
// Built once per group; follows the model on its coalesced `changed()`. The
// contextual arrangement of the blur and extra groups falls back from one row
// to grids by the width it is offered, decided from size hints. GUI thread.
class EditorToolVariants : public QWidget {
    Q_OBJECT
public:
    EditorToolVariants(EditorState& state, EditorToolGroup group, bool contextual, bool compact,
                       std::function<void()> onChoose, QWidget* parent = nullptr);

    EditorToolGroup group() const { return group_; }
    const QVector<EditorVariantCard*>& cards() const { return cards_; }
    void setContextual(bool contextual);
    // Picks the first arrangement whose ideal width fits `width`.
    void fitWidth(int width);
    int columns() const { return columns_; }
    void refresh();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    struct Arrangement {
        int columns;
        int cardWidth;
    };
    QVector<Arrangement> arrangements() const;
    int idealWidth(const Arrangement& arrangement) const;
    int cardWidth(int minimum) const;
    int padding() const;
    void arrange(const Arrangement& arrangement);
    void choose(int index);

    EditorState& state_;
    EditorToolGroup group_;
    bool contextual_;
    bool compact_;
    std::function<void()> onChoose_;
    QLabel* title_;
    QGridLayout* grid_;
    QVector<EditorVariantCard*> cards_;
    int columns_ = 0;
    int offered_ = QWIDGETSIZE_MAX;
};

} // namespace tarnwick
