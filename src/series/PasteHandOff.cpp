#include "series/PasteHandOff.h"

#include "platform/KeyNames.h"
#include "series/AppModel.h"

#include <QPointer>

namespace tarnwick {

PasteHandOff::PasteHandOff(AppModel& model) : model_(model) {}

template <typename Step>
void PasteHandOff::schedule(int ms, Step step)
{
    after(ms, [model = QPointer<AppModel>(&model_), step = std::move(step)] {
        if (model)
            step(model->handOff_);
    });
}

void PasteHandOff::setFlags(bool pending, bool transfer)
{
    const bool moved = model_.put(pending_, pending) | model_.put(transfer_, transfer);
    if (moved)
        emit model_.changed();
}

std::optional<quint32> PasteHandOff::activeId() const
{
    if (const auto active = activeWindow ? activeWindow() : std::nullopt)
        return active->window;
    return std::nullopt;
}

bool PasteHandOff::stillCurrent(int revision, const std::optional<std::uint64_t>& changeCount) const
{
    const ClipboardBridge& clipboard = model_.clipboard_;
    return revision == model_.revision_ && clipboard.isCurrent() && clipboard.changeCount() == changeCount && !model_.busy_;
}

void PasteHandOff::handlePaste()
{
    AppModel& m = model_;
    if (m.busy_ || !m.clipboard_.isCurrent() || pending_)
        return;
    // The mode of what is on the clipboard, not the one last chosen in the panel.
    const TransferMode mode = m.clipboard_.mode();
    const bool comments = m.awaitingComments_ ? (mode == TransferMode::chat || mode == TransferMode::comments)
                                              : mode == TransferMode::chat;
    // Images mode never reacts; combined only clears.
    if (!comments && !(!m.shots_.isEmpty() && mode == TransferMode::combined && m.preferences_.autoClear()))
        return;

    const int revision = m.revision_;
    const std::optional<std::uint64_t> changeCount = m.clipboard_.changeCount();
    const bool chat = mode == TransferMode::chat;
    const std::optional<quint32> frontmost = activeId();
    setFlags(true, true);
    schedule(commentDelayMs, [revision, changeCount, chat, frontmost](PasteHandOff& h) {
        h.commentStep(revision, changeCount, chat, frontmost);
    });
}

void PasteHandOff::commentStep(int revision, std::optional<std::uint64_t> changeCount, bool chat,
                               std::optional<quint32> frontmost)
{
    AppModel& m = model_;
    setFlags(false, false);
    if (!stillCurrent(revision, changeCount))
        return;

    const std::optional<TransferPacket>& packet = m.clipboard_.packet();
    if (chat && packet && !packet->comments.isEmpty()) {
        if (!m.reported([&] { m.clipboard_.publish(*packet, TransferMode::comments); }))
            return;
        m.awaitingComments_ = true;
        m.transferMode_ = TransferMode::comments;
        m.clipboardReady_ = true;
        emit m.changed();
        // Only into the window the images went to, and only while it is still in front.
        if (frontmost && activeId() == frontmost && permitted() && posted(*frontmost)) {
            scheduleRelease(revision);
            return;
        }
        m.setStatus(platform::keyText(QStringLiteral("Снимки вставлены. Нажмите ⌘V ещё раз для текста")));
        return;
    }
    if (m.preferences_.autoClear())
        m.clear(true);
}

void PasteHandOff::scheduleRelease(int revision)
{
    const std::optional<std::uint64_t> changeCount = model_.clipboard_.changeCount();
    setFlags(true, true);
    schedule(releaseDelayMs, [revision, changeCount](PasteHandOff& h) { h.releaseStep(revision, changeCount); });
}

void PasteHandOff::releaseStep(int revision, std::optional<std::uint64_t> changeCount)
{
    AppModel& m = model_;
    setFlags(false, false);
    if (!stillCurrent(revision, changeCount) || m.clipboard_.mode() != TransferMode::comments)
        return;
    if (m.preferences_.autoClear()) {
        m.clear(true);
        return;
    }
    m.setStatus(QStringLiteral("Снимки и комментарии переданы"), m.put(m.awaitingComments_, false));
}

void PasteHandOff::pasteAll(const platform::ActiveWindow& target)
{
    AppModel& m = model_;
    if (m.busy_ || transfer_ || pending_ || m.shots_.isEmpty())
        return;
    if (!permitted()) {
        // Nothing to ask for on X11: the status names what is missing.
        m.setStatus(AppModel::xtestMissing(), m.put(m.automaticPasteAllowed_, permitted()));
        return;
    }
    m.prepareClipboard(TransferMode::chat);
    if (!m.clipboard_.isCurrent())
        return; // the preparation failed and said so

    setFlags(pending_, true);
    if (activateWindow)
        activateWindow(target.window);
    const int revision = m.revision_;
    const std::optional<std::uint64_t> changeCount = m.clipboard_.changeCount();
    schedule(automaticPasteDelayMs, [revision, changeCount, window = target.window](PasteHandOff& h) {
        h.automaticPasteStep(revision, changeCount, window);
    });
}

void PasteHandOff::automaticPasteStep(int revision, std::optional<std::uint64_t> changeCount, quint32 target)
{
    setFlags(pending_, false);
    if (stillCurrent(revision, changeCount) && posted(target)) {
        handlePaste();
        return;
    }
    model_.setStatus(QStringLiteral("Вставка отменена. Выберите поле сообщения и повторите"));
}

} // namespace tarnwick
