#include "app/X11HandOffHooks.h"
#include "series/AppModel.h"
#include "series/SeriesTestSupport.h"

using namespace tarnwick;

TEST(X11HandOffHooks, WithoutAnXServerTheWatchIsMissingAndSaysWhy)
{
    test::SeriesParts<test::FakeClipboardBackend> parts;
    X11HandOffHooks hooks(QStringLiteral(":65000"));
    AppModel model(parts.bridge, parts.settings);
    hooks.install(model);
    model.enableMonitoring();
    EXPECT_FALSE(model.monitoring());
    EXPECT_EQ(model.status(), QStringLiteral("Нет связи с X-сервером «:65000»."));
}
