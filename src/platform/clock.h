#pragma once
// The clock: the current local time, sleeps of the one thread, whole-second differences and the general
// date format. Tests and unattended trial runs use a virtual clock on which a sleep advances time at once.

#include <QDateTime>
#include <QLocale>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>

namespace platform {

class Clock {
public:
    virtual ~Clock() = default;
    // The current local date and time, to the second.
    virtual QDateTime Now() = 0;
    // Blocks the thread for ms milliseconds (no window events run).
    virtual void Sleep(int ms) = 0;
};

class RealClock : public Clock {
public:
    QDateTime Now() override;
    void Sleep(int ms) override;
};

// A clock that stands still until something sleeps on it; a sleep advances it at once, or, with a speed-up,
// after 1/speedUp of its length on the real clock (so that waits for something outside the program, such as a
// server coming back, still take some real time).
class VirtualClock : public Clock {
public:
    explicit VirtualClock(QDateTime start, int speedUp = 0);
    QDateTime Now() override;
    void Sleep(int ms) override;
    // Moves time forward without a sleep.
    void Advance(int64_t ms);
    // Called after every sleep with the new time; tests use it to act at a moment of virtual time.
    void OnSleep(std::function<void(const QDateTime&)> hook) { hook_ = std::move(hook); }
    // Total milliseconds slept on this clock.
    int64_t TotalSleptMs() const { return slept_; }

private:
    QDateTime now_;
    int speedUp_ = 0;  // 0: a sleep takes no real time
    int64_t slept_ = 0;
    std::function<void(const QDateTime&)> hook_;
};

// The clock the program uses. Starts as the real clock; InstallClockFromEnvironment may change it.
Clock& GetClock();
// Replaces the program's clock (nullptr restores the real clock).
void SetClock(std::shared_ptr<Clock> clock);
// KESTRANE_VIRTUAL_CLOCK=now, or =YYYY-MM-DDTHH:MM:SS, selects a virtual clock starting then; a suffix @N (N
// from 1 to 100000) makes its sleeps take 1/N of their length on the real clock. Returns true when a virtual
// clock was installed; a value it cannot read is reported on standard error and the real clock stays.
bool InstallClockFromEnvironment();
// Makes the C library read the local time zone once, not look at /etc/localtime again at every conversion
// of a date (a rebuild converts a million): sets TZ to that file when TZ is unset. Call before any thread
// starts.
void ReadLocalZoneOnce();

// Shorthands for GetClock().Now() and GetClock().Sleep(ms).
QDateTime Now();
void Sleep(int ms);

// Seconds from `from` to `to`, counted in whole seconds (negative when `to` is earlier).
int64_t DateDiffSeconds(const QDateTime& from, const QDateTime& to);

// The system's general date format: the locale's short date, a blank, and its long time (without a zone).
QString FormatGeneralDate(const QDateTime& value);
// The same in a given locale; the C locale, which has no convention of its own, gives dd/MM/yyyy HH:mm:ss.
QString FormatGeneralDate(const QDateTime& value, const QLocale& locale);

}  // namespace platform
