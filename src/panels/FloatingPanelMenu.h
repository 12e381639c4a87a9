#pragma once

#include <QMenu>
#include <array>

namespace tarnwick {

class AppModel;

// The floating panel's main menu: the other capture kinds, the shots of the series for
// editing, the ways to hand the series over, settings, permissions, clearing, hiding and
// quitting. Its entries are made once; refresh() brings their enabled states, checks and the
// shot entries up to date with the model, so an open menu stays open. Entries act only
// through the model's operations and its action closures (an unset closure does nothing).
// GUI thread.
class FloatingPanelMenu : public QMenu {
    Q_OBJECT
public:
    enum class Entry {
        captureWindow, captureText, captureScrolling, record,
        paste, copyComments, chatMode, combinedMode, imagesMode, commentsMode, exportSeries, repeatTransfer,
        shortcuts, taskbarIcon, autoClear, permissions, screenAccess, monitoring, automaticPaste,
        clearSeries, hide, quit,
    };
    static constexpr int entryCount = static_cast<int>(Entry::quit) + 1;

    explicit FloatingPanelMenu(AppModel& model, QWidget* parent = nullptr);

    void refresh();

    QAction* action(Entry entry) const { return entries_[static_cast<std::size_t>(entry)]; }
    // The section header "Снимки серии", shown only while the series is not empty.
    QAction* shotSection() const { return section_; }
    // One entry per shot, in series order.
    const QList<QAction*>& shotActions() const { return shots_; }

private:
    QAction* add(Entry entry, const QString& title, const char* symbol = nullptr);
    template <typename Action, typename... Args>
    void call(const Action& action, Args... args) const
    {
        if (action)
            action(args...);
    }

    AppModel& model_;
    std::array<QAction*, entryCount> entries_{};
    QAction* section_ = nullptr;
    QList<QAction*> shots_;
};

} // namespace tarnwick
