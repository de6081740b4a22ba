// The permissions dialog's rules: the number a text holds, how a mode is
// shown, a box's bit, and what is sent.
#include "remote/ChangeMode.h"

#include <gtest/gtest.h>

TEST(ChangeMode, TextAndModeAgree)
{
    const std::pair<const char*, int> texts[] = {{"644", 0644}, {" 0755 ", 0755}, {"4755", 04755}, {"7", 07},
                                                 {"000", 0},    {"", -1},         {"8", -1},        {"12345", -1},
                                                 {"-1", -1},    {"7 5", -1},      {"abc", -1},      {"64a", -1}};
    for (const auto& [text, mode] : texts)
        EXPECT_EQ(ChangeMode::ModeOfText(QString::fromUtf8(text)).value_or(-1), mode) << text;
    const std::pair<int, const char*> shown[] = {{0644, "644"}, {0, "000"}, {07, "007"}, {04755, "4755"}, {010644, "644"}};
    for (const auto& [mode, text] : shown) EXPECT_EQ(ChangeMode::TextOfMode(mode), QString::fromUtf8(text)) << text;
}

TEST(ChangeMode, ABoxSetsOrClearsOnlyItsBit)
{
    const struct {
        int mode, bit;
        bool ticked;
        int result;
    } cases[] = {{0, 0400, true, 0400},      {0700, 040, true, 0740},   {0740, 04, true, 0744}, {0744, 040, false, 0704},
                 {0777, 020, false, 0757},   {0777, 0400, true, 0777},  {04755, 02, true, 04757}, {0644, 01, false, 0644}};
    for (const auto& c : cases) EXPECT_EQ(ChangeMode::WithBox(c.mode, c.bit, c.ticked), c.result) << c.mode << ' ' << c.bit;
    int nMode = 0;
    for (int bit : ChangeMode::kBoxBits) nMode = ChangeMode::WithBox(nMode, bit, true);
    EXPECT_EQ(nMode, 0777);
}

TEST(ChangeMode, SendsTheShownModeWithoutLeadingZeros)
{
    const std::pair<const char*, const char*> sent[] = {{" 0644 ", "644"}, {"0000", "0"}, {"4755", "4755"}, {"007", "7"}};
    for (const auto& [text, mode] : sent)
        EXPECT_EQ(ModeToSend(QString::fromUtf8(text)), std::optional<QString>(QString::fromUtf8(mode))) << text;
    for (const char* text : {"", "-1", "7 5", "8", "12345"}) EXPECT_FALSE(ModeToSend(QString::fromUtf8(text))) << text;
}
