#pragma once

#include "series/Annotation.h"

#include <QImage>
#include <QVector>
#include <cstddef>
#include <deque>

namespace tarnwick {

// Rendered pictures of annotation prefixes (the elements below a magnifier),
// reused across magnifiers and repaints. A short list ordered by recency: a hit
// moves to the end, the oldest entry goes when the list is full. Whoever keeps
// one across repaints clears it when an effect result arrives, since a stored
// sample may show the placeholder of a blur that is now ready.
class LayerSampleCache {
public:
    static constexpr std::size_t capacity = 4;

    // The sample of exactly this prefix (same length, every element equal), or nullptr.
    // The pointer stays valid until the next insert or clear.
    const QImage* find(const QVector<Annotation>& prefix);
    void insert(QVector<Annotation> prefix, QImage image);
    void clear() { entries_.clear(); }
    std::size_t size() const { return entries_.size(); }

private:
    struct Entry {
        QVector<Annotation> prefix;
        QImage image;
    };
    std::deque<Entry> entries_;
};

} // namespace tarnwick
