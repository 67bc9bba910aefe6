#pragma once
// How a rebuild tells what it is doing. The caller passes the progress in: the program's message window
// (app/frm_message.h), or none.

#include <QString>

namespace engine {

// What a rebuild reports while it works, in this order: Begin, then phases and counters, then End. A rebuild
// that ends on an error does not call End. None of the calls fails.
class RebuildProgress {
public:
    virtual ~RebuildProgress() = default;
    // The rebuild begins; caption names it ("Updating Agency Blacklist. Please wait...").
    virtual void Begin(const QString& caption) = 0;
    // The phase in progress ("Removing disqualifications...").
    virtual void SetPhase(const QString& text) = 0;
    // The counter of the phase ("Processed 25 entries").
    virtual void SetCounter(const QString& text) = 0;
    // The rebuild is done.
    virtual void End() = 0;
};

// A progress that shows nothing.
class NullProgress final : public RebuildProgress {
public:
    void Begin(const QString&) override {}
    void SetPhase(const QString&) override {}
    void SetCounter(const QString&) override {}
    void End() override {}
};

}  // namespace engine
