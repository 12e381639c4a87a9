#include "recording/review/RecordingTimelineTime.h"

#include <gtest/gtest.h>
#include <limits>

using tarnwick::RecordingTimelineTime;

TEST(RecordingTimelineTime, FormatsAndParses)
{
    const double inf = std::numeric_limits<double>::infinity();
    const std::pair<double, const char*> formats[] = {
        {0, "00:00.000"},     {59.9996, "01:00.000"}, {3725.5, "62:05.500"}, {-2, "00:00.000"},
        {inf, "00:00.000"},   {0.0005, "00:00.001"},  {90.25, "01:30.250"},
    };
    for (auto [seconds, text] : formats)
        EXPECT_EQ(RecordingTimelineTime::string(seconds), QString::fromUtf8(text)) << seconds;

    const std::pair<const char*, std::optional<double>> parses[] = {
        {"90", 90},         {"1:30", 90},      {"01:30.000", 90},    {"1,5", 1.5},      {"0:59.999", 59.999},
        {"1:02:03", 3723},  {" \n 5e1 \t", 50}, {"0:05,25", 5.25},   {"1:60", {}},      {"-5", {}},
        {"1.5:00", {}},     {"1:", {}},        {":30", {}},          {"1::30", {}},     {"1:2:3:4", {}},
        {"", {}},           {"abc", {}},       {"1:-5", {}},         {"1:2.5:3", {}},   {"inf", {}},
        {"1e400", {}},      {"1 2", {}},
    };
    for (auto [text, seconds] : parses) {
        std::optional<double> parsed = RecordingTimelineTime::parse(QString::fromUtf8(text));
        EXPECT_EQ(parsed.has_value(), seconds.has_value()) << text;
        if (parsed && seconds) {
            EXPECT_NEAR(*parsed, *seconds, 1e-9) << text;
        }
    }
}
