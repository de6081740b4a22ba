// The rate and time left shown in the status bar during a transfer.
#include "app/TransferRate.h"

#include <gtest/gtest.h>

#include <tuple>
#include <vector>

TEST(TransferRateTest, RateAndTimeLeftFromTheReports)
{
    const struct Case {
        const char* what;
        std::vector<std::tuple<qint64, qint64, qint64>> reports;  // bytes, total, milliseconds
        qint64 rate, left;
        const char* text;
    } cases[] = {
        {"no report", {}, -1, -1, ""},
        {"under a second: no rate yet", {{0, 4096, 0}, {2048, 4096, 999}}, -1, -1, ""},
        {"1 KB a second, 3 KB left", {{0, 4096, 0}, {1024, 4096, 1000}}, 1024, 3, "1.0 KB/s, 0:03 left"},
        {"left is rounded up", {{0, 1000, 0}, {300, 1000, 1000}}, 300, 3, "300 B/s, 0:03 left"},
        {"resumed: the bytes it had do not count", {{900000, 1000000, 500}, {901000, 1000000, 2500}}, 500, 198,
         "500 B/s, 3:18 left"},
        {"next file restarts the count", {{0, 10, 0}, {10, 10, 5000}, {0, 2048, 6000}, {512, 2048, 7000}}, 512, 3,
         "512 B/s, 0:03 left"},
        {"nothing moved", {{100, 200, 0}, {100, 200, 5000}}, -1, -1, ""},
        {"total unknown: the rate alone", {{0, 0, 0}, {2 * 1048576, 0, 2000}}, 1048576, -1, "1.0 MB/s"},
        {"hours", {{0, 3 * 3600 * 100 + 100, 0}, {100, 3 * 3600 * 100 + 100, 1000}}, 100, 10800, "100 B/s, 3:00:00 left"},
        {"done", {{0, 2000, 0}, {2000, 2000, 1000}}, 2000, 0, "2.0 KB/s, 0:00 left"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TransferRate rate;
        for (const auto& [bytes, total, ms] : c.reports) rate.Add(bytes, total, ms);
        EXPECT_EQ(rate.BytesPerSecond(), c.rate);
        EXPECT_EQ(rate.SecondsLeft(), c.left);
        EXPECT_EQ(rate.Text().toStdString(), c.text);
        rate.Reset();
        EXPECT_EQ(rate.Text().toStdString(), "");
    }
}

TEST(TransferRateTest, Units)
{
    const std::pair<qint64, const char*> rates[] = {{0, "0 B/s"},       {1023, "1023 B/s"},    {1024, "1.0 KB/s"},
                                                    {1536, "1.5 KB/s"}, {1048576, "1.0 MB/s"}, {5LL << 30, "5.0 GB/s"}};
    for (const auto& [rate, text] : rates) EXPECT_EQ(TransferRate::RateText(rate).toStdString(), text) << rate;
    const std::pair<qint64, const char*> times[] = {{0, "0:00"},  {7, "0:07"},    {59, "0:59"},
                                                    {60, "1:00"}, {750, "12:30"}, {3723, "1:02:03"}};
    for (const auto& [seconds, text] : times) EXPECT_EQ(TransferRate::TimeText(seconds).toStdString(), text) << seconds;
}
