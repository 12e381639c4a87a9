#include "recording/RecordingSourceLookup.h"

namespace tarnwick {

RecordingSourceLookup::RecordingSourceLookup(pa_context* context, bool systemSound)
    : context_(context), systemSound_(systemSound)
{
}

RecordingSourceLookup::~RecordingSourceLookup() { cancel(); }

void RecordingSourceLookup::cancel()
{
    // A cancelled operation never calls back.
    if (operation_) {
        pa_operation_cancel(operation_);
        pa_operation_unref(operation_);
        operation_ = nullptr;
    }
    answer_ = nullptr;
}

void RecordingSourceLookup::ask(std::function<void(const RecordingSourceChoice&)> answer)
{
    cancel();
    choice_ = {};
    answer_ = std::move(answer);
    running(pa_context_get_server_info(
        context_,
        [](pa_context*, const pa_server_info* info, void* self) { static_cast<RecordingSourceLookup*>(self)->serverInfo(info); },
        this));
}

void RecordingSourceLookup::running(pa_operation* operation)
{
    if (operation_)
        pa_operation_unref(operation_);
    operation_ = operation;
    if (!operation_)
        answer(); // the server is gone: nothing to record from
}

void RecordingSourceLookup::serverInfo(const pa_server_info* info)
{
    const char* name = !info ? nullptr : systemSound_ ? info->default_sink_name : info->default_source_name;
    choice_.device = name ? name : "";
    if (choice_.device.empty())
        return answer();
    if (!systemSound_)
        return askSource(choice_.device);
    // The default sink's monitor source carries what the system plays.
    running(pa_context_get_sink_info_by_name(
        context_, choice_.device.c_str(),
        [](pa_context*, const pa_sink_info* info, int eol, void* self) {
            static_cast<RecordingSourceLookup*>(self)->sinkInfo(info, eol);
        },
        this));
}

void RecordingSourceLookup::sinkInfo(const pa_sink_info* info, int eol)
{
    if (info && !eol && info->monitor_source_name)
        choice_.source = info->monitor_source_name;
    if (!eol)
        return;
    if (choice_.source.empty())
        return answer();
    askSource(choice_.source);
}

void RecordingSourceLookup::askSource(std::string name)
{
    choice_.source.clear();
    running(pa_context_get_source_info_by_name(
        context_, name.c_str(),
        [](pa_context*, const pa_source_info* info, int eol, void* self) {
            static_cast<RecordingSourceLookup*>(self)->sourceInfo(info, eol);
        },
        this));
}

void RecordingSourceLookup::sourceInfo(const pa_source_info* info, int eol)
{
    if (info && !eol) {
        choice_.source = info->name;
        choice_.isMonitor = info->monitor_of_sink != PA_INVALID_INDEX;
        choice_.sampleFormat = info->sample_spec;
        choice_.channelMap = info->channel_map;
    }
    if (eol)
        answer();
}

void RecordingSourceLookup::answer()
{
    if (operation_) {
        pa_operation_unref(operation_);
        operation_ = nullptr;
    }
    // Taken out first: the answer may ask again.
    const auto done = std::move(answer_);
    answer_ = nullptr;
    if (done)
        done(choice_);
}

} // namespace tarnwick
