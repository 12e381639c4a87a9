#include "render/effects/Inpainting.h"

#include "render/effects/ObjectRemoval.h"
#include "platform/TarnwickError.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <set>

namespace tarnwick {

namespace inpainting {

Scale scale(int width, int height)
{
    const int shorter = std::min(width, height);
    const int block = shorter <= 11 ? 1 : std::min(shorter / 12, 4);
    const double area = static_cast<double>(std::max(width, 0)) * static_cast<double>(std::max(height, 0));
    const int stride = std::max(1, static_cast<int>(std::floor(std::sqrt(area / 900.0))));
    return {block, 2 * block, stride};
}

} // namespace inpainting

namespace {

bool cancelled(const std::function<bool()>& isCancelled) { return isCancelled && isCancelled(); }

// Counts of blocked pixels over any rectangle in four look-ups.
class BlockedTable {
public:
    BlockedTable(const std::vector<bool>& mask, const std::vector<bool>& excluded, int width, int height)
        : stride_(static_cast<size_t>(width) + 1), sums_(stride_ * (static_cast<size_t>(height) + 1), 0)
    {
        for (int y = 0; y < height; ++y) {
            int row = 0;
            for (int x = 0; x < width; ++x) {
                const size_t i = static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x);
                row += (mask[i] || excluded[i]) ? 1 : 0;
                at(x + 1, y + 1) = at(x + 1, y) + row;
            }
        }
    }

    // Blocked pixels in the square of half-size `half` around (x, y), which must lie inside the image.
    int square(int x, int y, int half) const
    {
        const int x0 = x - half, y0 = y - half, x1 = x + half + 1, y1 = y + half + 1;
        return at(x1, y1) - at(x0, y1) - at(x1, y0) + at(x0, y0);
    }

private:
    int& at(int x, int y) { return sums_[static_cast<size_t>(y) * stride_ + static_cast<size_t>(x)]; }
    int at(int x, int y) const { return sums_[static_cast<size_t>(y) * stride_ + static_cast<size_t>(x)]; }

    size_t stride_;
    std::vector<int> sums_;
};

struct Offset {
    int red, green, blue;  // the target-side colour
    std::ptrdiff_t source; // byte distance from a source patch's centre
};

} // namespace

ObjectRemoval::Pixels ObjectRemoval::inpaint(const Pixels& pixels, const std::vector<bool>& mask,
                                             const std::vector<bool>& excluded,
                                             const std::function<bool()>& isCancelled)
{
    const int w = std::max(pixels.width, 0);
    const int h = std::max(pixels.height, 0);
    const size_t count = static_cast<size_t>(w) * static_cast<size_t>(h);
    if (mask.size() != count || excluded.size() != mask.size())
        throw TarnwickError::message(QStringLiteral("Не удалось подготовить контур объекта."));
    if (pixels.bytes.size() != 4 * count)
        throw TarnwickError::message(QStringLiteral("Не удалось подготовить пиксели для восстановления."));
    if (cancelled(isCancelled))
        throw CancellationError();

    size_t remaining = static_cast<size_t>(std::count(mask.begin(), mask.end(), true));
    if (remaining == 0)
        return pixels;

    const inpainting::Scale sizes = inpainting::scale(w, h);
    const int s = sizes.block;
    const int P = sizes.patch;
    const int stride = sizes.stride;
    const BlockedTable blocked(mask, excluded, w, h);

    std::vector<std::pair<int, int>> candidates;
    for (int y = P; y < h - P; y += stride)
        for (int x = P; x < w - P; x += stride)
            if (blocked.square(x, y, P) == 0)
                candidates.emplace_back(x, y);
    if (candidates.empty())
        throw TarnwickError::message(QStringLiteral("Недостаточно фона вокруг объекта. Выделите область поменьше."));

    const uint8_t* input = pixels.bytes.data();
    std::vector<uint8_t> out = pixels.bytes;
    std::vector<uint8_t> hole(count);
    std::vector<double> confidence(count);
    for (size_t i = 0; i < count; ++i) {
        hole[i] = mask[i] ? 1 : 0;
        confidence[i] = mask[i] ? 0.0 : 1.0;
    }
    auto index = [w](int x, int y) { return static_cast<size_t>(y) * static_cast<size_t>(w) + static_cast<size_t>(x); };

    std::set<size_t> front;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            if (!hole[index(x, y)])
                continue;
            if ((x > 0 && !hole[index(x - 1, y)]) || (x + 1 < w && !hole[index(x + 1, y)])
                || (y > 0 && !hole[index(x, y - 1)]) || (y + 1 < h && !hole[index(x, y + 1)]))
                front.insert(index(x, y));
        }

    std::vector<Offset> known;
    std::vector<Offset> used;
    std::vector<size_t> filled;
    while (remaining > 0) {
        if (cancelled(isCancelled))
            throw CancellationError();
        if (front.empty())
            throw TarnwickError::message(QStringLiteral("Не удалось найти фон для восстановления."));

        // The front pixel surrounded by the most trusted pixels goes first.
        const size_t frontSize = front.size();
        const size_t step = frontSize >= 100 ? frontSize / 100 : 1;
        size_t target = *front.begin();
        double priority = -std::numeric_limits<double>::infinity();
        size_t position = 0;
        for (auto it = front.begin(); it != front.end(); ++it, ++position) {
            if (position % step != 0)
                continue;
            const int px = static_cast<int>(*it % static_cast<size_t>(w));
            const int py = static_cast<int>(*it / static_cast<size_t>(w));
            double sum = 0;
            int cells = 0;
            for (int y = std::max(py - s, 0); y <= std::min(py + s, h - 1); ++y)
                for (int x = std::max(px - s, 0); x <= std::min(px + s, w - 1); ++x) {
                    sum += confidence[index(x, y)];
                    ++cells;
                }
            const double mean = sum / cells;
            if (mean > priority) {
                priority = mean;
                target = *it;
            }
        }
        const int px = static_cast<int>(target % static_cast<size_t>(w));
        const int py = static_cast<int>(target / static_cast<size_t>(w));

        // The known pixels of the target's patch, thinned to at most 95.
        known.clear();
        for (int dy = -P; dy <= P; ++dy)
            for (int dx = -P; dx <= P; ++dx) {
                const int x = px + dx, y = py + dy;
                if (x < 0 || y < 0 || x >= w || y >= h || hole[index(x, y)])
                    continue;
                const uint8_t* t = out.data() + 4 * index(x, y);
                known.push_back({t[0], t[1], t[2], 4 * (static_cast<std::ptrdiff_t>(dy) * w + dx)});
            }
        const size_t every = known.size() >= 48 ? known.size() / 48 : 1;
        used.clear();
        for (size_t i = 0; i < known.size(); i += every)
            used.push_back(known[i]);

        double best = std::numeric_limits<double>::infinity();
        int bx = candidates.front().first, by = candidates.front().second;
        auto score = [&](int cx, int cy) {
            const uint8_t* centre = input + 4 * index(cx, cy);
            long long sum = 0;
            for (const Offset& o : used) {
                const uint8_t* src = centre + o.source;
                const int dr = o.red - src[0], dg = o.green - src[1], db = o.blue - src[2];
                sum += dr * dr + dg * dg + db * db;
                if (static_cast<double>(sum) >= best)
                    return;
            }
            const double ddx = cx - px, ddy = cy - py;
            const double cost = static_cast<double>(sum) + 0.0001 * (ddx * ddx + ddy * ddy);
            if (cost < best) {
                best = cost;
                bx = cx;
                by = cy;
            }
        };
        for (const auto& [cx, cy] : candidates)
            score(cx, cy);

        // The grid is coarse: search around the winner at every position.
        const int gx = bx, gy = by;
        for (int y = gy - stride; y <= gy + stride; ++y) {
            if (y - P < 0 || y + P >= h)
                continue;
            for (int x = gx - stride; x <= gx + stride; ++x) {
                if (x - P < 0 || x + P >= w || blocked.square(x, y, P) != 0)
                    continue;
                score(x, y);
            }
        }

        filled.clear();
        for (int dy = -s; dy <= s; ++dy)
            for (int dx = -s; dx <= s; ++dx) {
                const int x = px + dx, y = py + dy;
                if (x < 0 || y < 0 || x >= w || y >= h)
                    continue;
                const size_t t = index(x, y);
                if (!hole[t])
                    continue;
                const uint8_t* src = input + 4 * index(bx + dx, by + dy);
                std::copy(src, src + 4, out.data() + 4 * t);
                hole[t] = 0;
                confidence[t] = priority;
                --remaining;
                front.erase(t);
                filled.push_back(t);
            }
        for (size_t t : filled) {
            const int x = static_cast<int>(t % static_cast<size_t>(w));
            const int y = static_cast<int>(t / static_cast<size_t>(w));
            if (x > 0 && hole[t - 1])
                front.insert(t - 1);
            if (x + 1 < w && hole[t + 1])
                front.insert(t + 1);
            if (y > 0 && hole[t - static_cast<size_t>(w)])
                front.insert(t - static_cast<size_t>(w));
            if (y + 1 < h && hole[t + static_cast<size_t>(w)])
                front.insert(t + static_cast<size_t>(w));
        }
    }
    return Pixels(w, h, std::move(out));
}

} // namespace tarnwick
