#include "series/Geometry.h"

#include <algorithm>
#include <limits>

namespace tarnwick::geo {

QRectF nullRect()
{
    constexpr double inf = std::numeric_limits<double>::infinity();
    return QRectF(inf, inf, 0, 0);
}

bool isNull(const QRectF& r) { return std::isinf(r.x()) || std::isinf(r.y()); }

bool isEmpty(const QRectF& r) { return isNull(r) || r.width() == 0 || r.height() == 0; }

QRectF standardized(const QRectF& r)
{
    if (isNull(r))
        return r;
    return r.normalized();
}

QRectF intersection(const QRectF& a, const QRectF& b)
{
    if (isNull(a) || isNull(b) || !isFinite(a) || !isFinite(b))
        return nullRect();
    QRectF r1 = standardized(a), r2 = standardized(b);
    double left = std::max(r1.left(), r2.left());
    double right = std::min(r1.right(), r2.right());
    double top = std::max(r1.top(), r2.top());
    double bottom = std::min(r1.bottom(), r2.bottom());
    // Closed spans: rectangles that only touch still meet, in a zero-size rectangle.
    if (left > right || top > bottom)
        return nullRect();
    return QRectF(left, top, right - left, bottom - top);
}

bool intersects(const QRectF& a, const QRectF& b) { return !isNull(intersection(a, b)); }

QRectF unite(const QRectF& a, const QRectF& b)
{
    if (isNull(a))
        return standardized(b);
    if (isNull(b))
        return standardized(a);
    QRectF r1 = standardized(a), r2 = standardized(b);
    double left = std::min(r1.left(), r2.left());
    double top = std::min(r1.top(), r2.top());
    double right = std::max(r1.right(), r2.right());
    double bottom = std::max(r1.bottom(), r2.bottom());
    return QRectF(left, top, right - left, bottom - top);
}

QRectF integral(const QRectF& r)
{
    if (isNull(r) || !isFinite(r))
        return nullRect();
    QRectF s = standardized(r);
    double left = std::floor(s.left()), top = std::floor(s.top());
    double right = std::ceil(s.right()), bottom = std::ceil(s.bottom());
    return QRectF(left, top, right - left, bottom - top);
}

bool contains(const QRectF& r, const QPointF& p)
{
    if (isEmpty(r) || !isFinite(p))
        return false;
    QRectF s = standardized(r);
    return p.x() >= s.left() && p.x() < s.right() && p.y() >= s.top() && p.y() < s.bottom();
}

QRectF insetBy(const QRectF& r, double dx, double dy)
{
    if (isNull(r))
        return r;
    QRectF s = standardized(r);
    QRectF out(s.x() + dx, s.y() + dy, s.width() - 2 * dx, s.height() - 2 * dy);
    if (out.width() < 0 || out.height() < 0)
        return nullRect();
    return out;
}

QRectF rectFromPoints(const QPointF& a, const QPointF& b)
{
    return QRectF(std::min(a.x(), b.x()), std::min(a.y(), b.y()), std::abs(b.x() - a.x()), std::abs(b.y() - a.y()));
}

} // namespace tarnwick::geo
