#include "platform/clock.h"

#include "platform/application.h"

#include <QRegularExpression>

#include <chrono>
#include <cstdio>
#include <thread>

namespace platform {

namespace {

QDateTime ToWholeSecond(const QDateTime& value) {
    QDateTime whole = value;
    const QTime time = value.time();
    whole.setTime(QTime(time.hour(), time.minute(), time.second()));
    return whole;
}

std::shared_ptr<Clock>& CurrentClock() {
    static std::shared_ptr<Clock> clock = std::make_shared<RealClock>();
    return clock;
}

// The time format without its zone part ("t", "tttt", "(t)") and the blanks around it. Quoted literals are
// kept as they are.
QString WithoutZone(const QString& format) {
    static const QRegularExpression zone(QStringLiteral("\\s*\\(?t+\\)?\\s*"));
    QString result;
    QString plain;
    const auto flushPlain = [&] {
        result += plain.replace(zone, QStringLiteral(" "));
        plain.clear();
    };
    bool quoted = false;
    for (QChar c : format) {
        if (c == u'\'') {
            if (!quoted)
                flushPlain();
            quoted = !quoted;
            result += c;
        } else {
            (quoted ? result : plain) += c;
        }
    }
    flushPlain();
    return result.trimmed();
}

}  // namespace

QDateTime RealClock::Now() {
    return ToWholeSecond(QDateTime::currentDateTime());
}

void RealClock::Sleep(int ms) {
    if (ms > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

VirtualClock::VirtualClock(QDateTime start, int speedUp) : now_(std::move(start)), speedUp_(speedUp) {}

QDateTime VirtualClock::Now() {
    return ToWholeSecond(now_);
}

void VirtualClock::Sleep(int ms) {
    if (ms < 0)
        ms = 0;
    slept_ += ms;
    if (speedUp_ > 0)
        std::this_thread::sleep_for(std::chrono::microseconds(int64_t{ms} * 1000 / speedUp_));
    now_ = now_.addMSecs(ms);
    if (hook_)
        hook_(Now());
}

void VirtualClock::Advance(int64_t ms) {
    now_ = now_.addMSecs(ms);
}

Clock& GetClock() {
    return *CurrentClock();
}

void SetClock(std::shared_ptr<Clock> clock) {
    CurrentClock() = clock ? std::move(clock) : std::make_shared<RealClock>();
}

bool InstallClockFromEnvironment() {
    const QString setting = qEnvironmentVariable("KESTRANE_VIRTUAL_CLOCK").trimmed();
    if (setting.isEmpty())
        return false;
    const QString when = setting.section(u'@', 0, 0);
    const bool spedUp = setting.contains(u'@');
    bool speedRead = true;
    const int speedUp = spedUp ? setting.section(u'@', 1).toInt(&speedRead) : 0;
    const QDateTime start = when.compare(QStringLiteral("now"), Qt::CaseInsensitive) == 0
                                ? QDateTime::currentDateTime()
                                : QDateTime::fromString(when, Qt::ISODate);
    if (!start.isValid() || !speedRead || (spedUp && (speedUp < 1 || speedUp > 100000))) {
        WriteErrorLine(QStringLiteral("KESTRANE_VIRTUAL_CLOCK: \"") + setting +
                           QStringLiteral("\" is neither \"now\" nor a time YYYY-MM-DDTHH:MM:SS, optionally "
                                          "followed by @N (N from 1 to 100000); the real clock is used"),
                       Severity::Warning);
        return false;
    }
    SetClock(std::make_shared<VirtualClock>(start.toLocalTime(), speedUp));
    return true;
}

void ReadLocalZoneOnce() {
    if (!qEnvironmentVariableIsSet("TZ"))
        qputenv("TZ", ":/etc/localtime");
}

QDateTime Now() {
    return GetClock().Now();
}

void Sleep(int ms) {
    GetClock().Sleep(ms);
}

int64_t DateDiffSeconds(const QDateTime& from, const QDateTime& to) {
    // Dates here carry no zone: the difference is one of wall-clock times, so a change to or from summer time
    // between the two does not add or remove an hour.
    const auto wallClock = [](const QDateTime& value) {
        const QDateTime local = ToWholeSecond(value.toLocalTime());
        return QDateTime(local.date(), local.time(), Qt::UTC);
    };
    return wallClock(from).secsTo(wallClock(to));
}

QString FormatGeneralDate(const QDateTime& value) {
    return FormatGeneralDate(value, QLocale::system());
}

QString FormatGeneralDate(const QDateTime& value, const QLocale& locale) {
    if (locale.language() == QLocale::C)
        return value.toLocalTime().toString(QStringLiteral("dd/MM/yyyy HH:mm:ss"));
    const QString format =
        locale.dateFormat(QLocale::ShortFormat) + u' ' + WithoutZone(locale.timeFormat(QLocale::LongFormat));
    return locale.toString(value.toLocalTime(), format);
}

}  // namespace platform
