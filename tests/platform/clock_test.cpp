// The clock: virtual sleeps move time at once, whole-second differences, the general date format.
#include "platform/clock.h"
#include "scoped_environment.h"

#include <gtest/gtest.h>

namespace {

using platform::VirtualClock;

QDateTime At(const char* text) {
    return QDateTime::fromString(QString::fromUtf8(text), QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
}

// Catches a virtual sleep that moves time wrongly, and a Now() that shows parts of a second.
TEST(ClockTest, VirtualSleepsMoveTimeToTheSecond) {
    VirtualClock clock(At("2026-05-12 14:03:07.000"));
    std::vector<QDateTime> seen;
    clock.OnSleep([&seen](const QDateTime& now) { seen.push_back(now); });
    clock.Sleep(5000);
    for (int i = 0; i < 3; ++i)
        clock.Sleep(250);
    EXPECT_EQ(clock.Now(), At("2026-05-12 14:03:12.000"));
    clock.Sleep(250);
    clock.Advance(10 * 60 * 1000);
    EXPECT_EQ(clock.Now(), At("2026-05-12 14:13:13.000"));
    EXPECT_EQ(clock.TotalSleptMs(), 6000);
    ASSERT_EQ(seen.size(), 5u);
    EXPECT_EQ(seen[0], At("2026-05-12 14:03:12.000"));
}

// Catches a setting misread (a virtual clock where the real one must stay, a wrong start), shorthands that
// do not use the installed clock, and the real clock not put back.
TEST(ClockTest, EnvironmentChoosesTheClock) {
    // The setting, whether it installs a virtual clock, and where that starts (nullptr: not checked).
    // clang-format off
    const struct { std::optional<QByteArray> setting; bool installed; const char* start; } cases[] = {
        {"2026-05-12T14:03:07", true, "2026-05-12 14:03:07.000"},
        {" 2026-05-12T14:03:07 ", true, "2026-05-12 14:03:07.000"},
        {"2026-05-12T14:03:07@100000", true, "2026-05-12 14:03:07.000"},  // 36 ms real
        {"now", true, nullptr}, {"now@0", false, nullptr}, {"now@", false, nullptr}, {"now@fast", false, nullptr},
        {"yesterday", false, nullptr}, {"", false, nullptr}, {std::nullopt, false, nullptr},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.setting.value_or("(unset)").toStdString());
        platform::SetClock(nullptr);
        const ScopedEnvironment variable("KESTRANE_VIRTUAL_CLOCK", c.setting);
        EXPECT_EQ(platform::InstallClockFromEnvironment(), c.installed);
        if (c.start) {
            EXPECT_EQ(platform::Now(), At(c.start));
        }
        if (c.installed) {  // virtual: an hour's sleep moves time by an hour
            const QDateTime before = platform::Now();
            platform::Sleep(3600 * 1000);
            EXPECT_EQ(before.secsTo(platform::Now()), 3600);
        }
    }
    platform::SetClock(nullptr);
    EXPECT_LE(std::abs(platform::Now().secsTo(QDateTime::currentDateTime())), 2);
}

// Catches a difference counted from the milliseconds, rounded, or in UTC across a change to summer time.
TEST(ClockTest, DateDiffCountsWholeSeconds) {
    const std::tuple<const char*, const char*, int64_t> cases[] = {
        {"2026-05-12 10:00:00.900", "2026-05-12 10:00:01.100", 1},
        {"2026-05-12 10:00:00.100", "2026-05-12 10:00:00.900", 0},
        {"2026-05-12 10:00:01.100", "2026-05-12 10:00:00.900", -1},
        {"2026-05-12 23:59:59.000", "2026-05-13 00:00:01.000", 2},
        {"2026-03-29 01:30:00.000", "2026-03-29 03:30:00.000", 7200},  // summer time in Europe adds no hour
    };
    for (const auto& [from, to, seconds] : cases)
        EXPECT_EQ(platform::DateDiffSeconds(At(from), At(to)), seconds) << from << " -> " << to;
}

// Catches a format other than the locale's short date and long time, or one that shows a time zone.
TEST(ClockTest, GeneralDateIsShortDateAndLongTimeWithoutZone) {
    const QDateTime value = At("2026-05-12 14:03:07.000");
    const std::pair<const char*, const char*> cases[] = {
        {"C", "12/05/2026 14:03:07"},   {"en_GB", "12/05/2026 14:03:07"}, {"en_US", "5/12/26 2:03:07 PM"},
        {"de_DE", "12.05.26 14:03:07"}, {"zh_CN", "2026/5/12 14:03:07"},
    };
    for (const auto& [locale, expected] : cases)
        EXPECT_EQ(platform::FormatGeneralDate(value, QLocale(QString::fromUtf8(locale))), expected) << locale;
    const QString zone = value.timeZoneAbbreviation();
    for (const char* name : {"fr_FR", "ja_JP", "ko_KR", "fa_IR", "ru_RU"}) {
        const QString text = platform::FormatGeneralDate(value, QLocale(QString::fromUtf8(name)));
        EXPECT_TRUE(!text.contains(zone) && !text.contains(u'(') && text == text.trimmed()) << name;
    }
    EXPECT_FALSE(platform::FormatGeneralDate(value).contains(zone));
}

}  // namespace
