#include "DrawingTestSupport.h"

#include <gtest/gtest.h>

using namespace tarnwick;
using namespace tarnwick::testing;

TEST(LayerSampleCache, MatchesWholePrefixesAndDropsTheLeastRecentlyUsed)
{
    const Annotation a = element(AnnotationTool::arrow, {1, 1}, {5, 5});
    const Annotation b = element(AnnotationTool::rectangle, {1, 1}, {5, 5});
    auto prefix = [](int n) {
        QVector<Annotation> list;
        for (int i = 0; i < n; ++i)
            list.append(element(AnnotationTool::pencil));
        return list;
    };
    LayerSampleCache cache;
    EXPECT_EQ(cache.find({}), nullptr);
    cache.insert({a}, canvas(1, 1, Qt::red));
    EXPECT_EQ(cache.find({a, b}), nullptr); // a longer list is another prefix
    EXPECT_EQ(cache.find({b}), nullptr);
    ASSERT_NE(cache.find({a}), nullptr);
    EXPECT_EQ(cache.find({a})->pixel(0, 0), qRgb(255, 0, 0));

    // Re-inserting a prefix replaces its sample instead of adding one.
    cache.insert({a}, canvas(1, 1, Qt::green));
    EXPECT_EQ(cache.size(), 1u);
    EXPECT_EQ(cache.find({a})->pixel(0, 0), qRgb(0, 255, 0));

    const QVector<Annotation> p1 = prefix(1), p2 = prefix(2), p3 = prefix(3), p4 = prefix(4);
    cache.insert(p1, canvas(1, 1));
    cache.insert(p2, canvas(1, 1));
    cache.insert(p3, canvas(1, 1));
    ASSERT_EQ(cache.size(), LayerSampleCache::capacity);
    EXPECT_NE(cache.find({a}), nullptr); // a hit becomes the most recent
    cache.insert(p4, canvas(1, 1));
    EXPECT_EQ(cache.size(), LayerSampleCache::capacity);
    EXPECT_EQ(cache.find(p1), nullptr);
    EXPECT_NE(cache.find({a}), nullptr);

    cache.clear();
    EXPECT_EQ(cache.size(), 0u);
    EXPECT_EQ(cache.find({a}), nullptr);
}
