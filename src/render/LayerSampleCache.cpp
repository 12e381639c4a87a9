#include "render/LayerSampleCache.h"

#include <algorithm>

namespace tarnwick {

const LayerSampleCache::Entry* LayerSampleCache::find(const QVector<Annotation>& prefix, const QRect& area)
{
    auto it = std::find_if(entries_.begin(), entries_.end(),
                           [&](const Entry& e) { return e.area.contains(area) && e.prefix == prefix; });
    if (it == entries_.end())
        return nullptr;
    if (std::next(it) != entries_.end()) {
        Entry hit = std::move(*it);
        entries_.erase(it);
        entries_.push_back(std::move(hit));
    }
    return &entries_.back();
}

void LayerSampleCache::insert(QVector<Annotation> prefix, QRect area, QImage image)
{
    auto it = std::find_if(entries_.begin(), entries_.end(), [&](const Entry& e) { return e.prefix == prefix; });
    if (it != entries_.end())
        entries_.erase(it);
    entries_.push_back({std::move(prefix), area, std::move(image)});
    while (entries_.size() > capacity)
        entries_.pop_front();
}

} // namespace tarnwick
