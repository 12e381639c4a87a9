#pragma once

#include "series/Annotation.h"

#include <QImage>
#include <QRect>
#include <QVector>
#include <cstddef>
#include <deque>

namespace tarnwick {

// Rendered pictures of annotation prefixes (the elements below a magnifier),
// reused across magnifiers and repaints. A picture covers only `area`, in pixels
// of the image frame: the part that magnifiers sample. A short list ordered by recency: a hit
// moves to the end, the oldest entry goes when the list is full. Whoever keeps
// one across repaints clears it when an effect result arrives, since a stored
// sample may show the placeholder of a blur that is now ready.
class LayerSampleCache {
public:
    static constexpr std::size_t capacity = 4;

    struct Entry {
        QVector<Annotation> prefix;
        QRect area;
        QImage image;
    };

    // The sample of exactly this prefix (same length, every element equal) covering
    // `area`, or nullptr. The pointer stays valid until the next insert or clear.
    const Entry* find(const QVector<Annotation>& prefix, const QRect& area);
    void insert(QVector<Annotation> prefix, QRect area, QImage image);
    void clear() { entries_.clear(); }
    std::size_t size() const { return entries_.size(); }

private:
    std::deque<Entry> entries_;
};

} // namespace tarnwick
