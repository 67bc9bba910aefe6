// The clock: virtual sleeps cost nothing and move time, whole-second differences, the general date format.
#include "platform/clock.h"
#include "scoped_environment.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

namespace {

using platform::DateDiffSeconds;
using platform::FormatGeneralDate;
using platform::VirtualClock;

QDateTime At(const char* text) {
    return QDateTime::fromString(QString::fromUtf8(text), QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz"));
}

// Puts the program's clock back to the real one at the end of a test.
class ClockTest : public ::testing::Test {
  protected:
    ~ClockTest() override { platform::SetClock(nullptr); }
};

TEST_F(ClockTest, VirtualSleepAdvancesTimeAtOnce) {
    VirtualClock clock(At("2026-05-12 14:03:07.000"));
    std::vector<QDateTime> seen;
    clock.OnSleep([&seen](const QDateTime& now) { seen.push_back(now); });
    QElapsedTimer real;
    real.start();
    clock.Sleep(5000);
    clock.Sleep(10 * 60 * 1000);
    EXPECT_LT(real.elapsed(), 1000);
    EXPECT_EQ(clock.Now(), At("2026-05-12 14:13:12.000"));
    EXPECT_EQ(clock.TotalSleptMs(), 605000);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0], At("2026-05-12 14:03:12.000"));
}

TEST_F(ClockTest, VirtualNowIsToTheSecond) {
    VirtualClock clock(At("2026-05-12 14:03:07.000"));
    for (int i = 0; i < 3; ++i) {
        clock.Sleep(250);
    }
    EXPECT_EQ(clock.Now(), At("2026-05-12 14:03:07.000"));
    clock.Sleep(250);
    EXPECT_EQ(clock.Now(), At("2026-05-12 14:03:08.000"));
    clock.Advance(60000);
    EXPECT_EQ(clock.Now(), At("2026-05-12 14:04:08.000"));
    EXPECT_EQ(clock.TotalSleptMs(), 1000);
}

TEST_F(ClockTest, InstalledClockServesNowAndSleep) {
    auto clock = std::make_shared<VirtualClock>(At("2026-01-01 00:00:00.000"));
    platform::SetClock(clock);
    platform::Sleep(1500);
    EXPECT_EQ(platform::Now(), At("2026-01-01 00:00:01.000"));
    EXPECT_EQ(clock->TotalSleptMs(), 1500);
    platform::SetClock(nullptr);
    EXPECT_LE(std::abs(platform::Now().secsTo(QDateTime::currentDateTime())), 2);
}

TEST_F(ClockTest, EnvironmentChoosesTheClock) {
    struct Case {
        std::optional<QByteArray> setting;
        bool installed;
        QDateTime start;  // invalid: not checked
    };
    const std::vector<Case> cases = {
        {QByteArray("2026-05-12T14:03:07"), true, At("2026-05-12 14:03:07.000")},
        {QByteArray(" 2026-05-12T14:03:07 "), true, At("2026-05-12 14:03:07.000")},
        {QByteArray("now"), true, {}},
        {QByteArray("2026-05-12T14:03:07@100000"), true, At("2026-05-12 14:03:07.000")},  // 36 ms real
        {QByteArray("now@0"), false, {}},
        {QByteArray("now@"), false, {}},
        {QByteArray("now@fast"), false, {}},
        {QByteArray("yesterday"), false, {}},
        {QByteArray(""), false, {}},
        {std::nullopt, false, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.setting.value_or("(unset)").toStdString());
        platform::SetClock(nullptr);
        const ScopedEnvironment variable("KESTRANE_VIRTUAL_CLOCK", c.setting);
        EXPECT_EQ(platform::InstallClockFromEnvironment(), c.installed);
        if (c.start.isValid()) {
            EXPECT_EQ(platform::Now(), c.start);
        }
        if (c.installed) {
            // A virtual clock: a long sleep returns at once and moves time by as much.
            const QDateTime before = platform::Now();
            platform::Sleep(3600 * 1000);
            EXPECT_EQ(before.secsTo(platform::Now()), 3600);
        }
    }
}

TEST(DateDiffSeconds, CountsWholeSeconds) {
    struct Case {
        const char* from;
        const char* to;
        int64_t seconds;
    };
    const std::vector<Case> cases = {
        {"2026-05-12 10:00:00.000", "2026-05-12 10:00:00.000", 0},
        {"2026-05-12 10:00:00.900", "2026-05-12 10:00:01.100", 1},
        {"2026-05-12 10:00:00.100", "2026-05-12 10:00:00.900", 0},
        {"2026-05-12 10:00:01.100", "2026-05-12 10:00:00.900", -1},
        {"2026-05-12 10:00:00.000", "2026-05-12 10:00:10.999", 10},
        {"2026-05-12 23:59:59.000", "2026-05-13 00:00:01.000", 2},
        {"2026-05-13 00:00:00.000", "2026-05-12 00:00:00.000", -86400},
        {"2024-02-28 12:00:00.000", "2024-03-01 12:00:00.000", 2 * 86400},
        // Wall-clock difference: a change to summer time in between (in Europe) adds no hour.
        {"2026-03-29 01:30:00.000", "2026-03-29 03:30:00.000", 7200},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.from) + " -> " + c.to);
        EXPECT_EQ(DateDiffSeconds(At(c.from), At(c.to)), c.seconds);
    }
}

TEST(FormatGeneralDate, ShortDateAndLongTimeWithoutZone) {
    const QDateTime value = At("2026-05-12 14:03:07.000");
    struct Case {
        QLocale locale;
        QString expected;
    };
    const std::vector<Case> cases = {
        {QLocale::c(), QStringLiteral("12/05/2026 14:03:07")},
        {QLocale(QStringLiteral("en_GB")), QStringLiteral("12/05/2026 14:03:07")},
        {QLocale(QStringLiteral("en_US")), QStringLiteral("5/12/26 2:03:07 PM")},
        {QLocale(QStringLiteral("de_DE")), QStringLiteral("12.05.26 14:03:07")},
        {QLocale(QStringLiteral("zh_CN")), QStringLiteral("2026/5/12 14:03:07")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.locale.name().toStdString());
        EXPECT_EQ(FormatGeneralDate(value, c.locale), c.expected);
    }
}

TEST(FormatGeneralDate, NoLocaleShowsAZone) {
    const QDateTime value = At("2026-05-12 14:03:07.000");
    const QString zone = value.timeZoneAbbreviation();
    for (const char* name :
         {"C", "en_US", "en_GB", "de_DE", "fr_FR", "ja_JP", "ko_KR", "fa_IR", "zh_CN", "ru_RU"}) {
        SCOPED_TRACE(name);
        const QString text = FormatGeneralDate(value, QLocale(QString::fromUtf8(name)));
        EXPECT_FALSE(text.contains(zone)) << qPrintable(text);
        EXPECT_FALSE(text.contains(u'(')) << qPrintable(text);
        EXPECT_EQ(text, text.trimmed());
    }
    EXPECT_FALSE(FormatGeneralDate(value).contains(zone)) << qPrintable(FormatGeneralDate(value));
}

}  // namespace
