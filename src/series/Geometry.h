#pragma once

#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <cmath>

// Rectangle rules as the drawing code expects them, which differ from QRectF at
// the edges: a standardized rectangle never has a negative size, an empty
// intersection is the distinct null rectangle, touching rectangles do intersect,
// `contains` is half-open, and `integral` rounds outward.
namespace tarnwick::geo {

QRectF nullRect();
bool isNull(const QRectF& r);
// Null, or zero width or height.
bool isEmpty(const QRectF& r);
QRectF standardized(const QRectF& r);
QRectF intersection(const QRectF& a, const QRectF& b);
bool intersects(const QRectF& a, const QRectF& b);
QRectF unite(const QRectF& a, const QRectF& b);
QRectF integral(const QRectF& r);
bool contains(const QRectF& r, const QPointF& p);
QRectF insetBy(const QRectF& r, double dx, double dy);
QRectF rectFromPoints(const QPointF& a, const QPointF& b);

inline bool isFinite(double v) { return std::isfinite(v); }
inline bool isFinite(const QPointF& p) { return std::isfinite(p.x()) && std::isfinite(p.y()); }
inline bool isFinite(const QSizeF& s) { return std::isfinite(s.width()) && std::isfinite(s.height()); }
inline bool isFinite(const QRectF& r) { return isFinite(r.topLeft()) && isFinite(r.size()); }

// Exact comparisons: Qt's operator== on these types is fuzzy.
inline bool same(const QPointF& a, const QPointF& b) { return a.x() == b.x() && a.y() == b.y(); }
inline bool same(const QSizeF& a, const QSizeF& b) { return a.width() == b.width() && a.height() == b.height(); }
inline bool same(const QRectF& a, const QRectF& b) { return same(a.topLeft(), b.topLeft()) && same(a.size(), b.size()); }

inline QPointF midpoint(const QPointF& a, const QPointF& b) { return (a + b) / 2.0; }
inline double distance(const QPointF& a, const QPointF& b) { return std::hypot(a.x() - b.x(), a.y() - b.y()); }

} // namespace tarnwick::geo
