#include "platform/screen.h"

#include "platform/event_loop.h"
#include "platform/form.h"

#include <QCoreApplication>
#include <QGuiApplication>

#include <algorithm>
#include <chrono>

namespace platform {

namespace {

int gPointer = vbDefault;

// Asking the window system for its events costs microseconds; a loop that yields after every row of a scan
// of a million rows would spend more time there than on its work. The window system is asked at most this
// often; events posted inside the program (repaints, deferred deletes, queued calls) go out at every call.
constexpr auto kWindowSystemPollInterval = std::chrono::milliseconds(2);

std::vector<Form*>& LoadedForms() {
    static std::vector<Form*> forms;
    return forms;
}

std::vector<Form*>& PendingRelease() {
    static std::vector<Form*> forms;
    return forms;
}

bool HasGuiApplication() {
    return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr;
}

}  // namespace

int Screen::MousePointer() {
    return gPointer;
}

void Screen::SetMousePointer(int pointer) {
    if (pointer == gPointer)
        return;
    if (HasGuiApplication()) {
        if (gPointer != vbDefault)
            QGuiApplication::restoreOverrideCursor();
        if (pointer != vbDefault)
            QGuiApplication::setOverrideCursor(pointer == vbHourglass ? Qt::WaitCursor : Qt::ArrowCursor);
    }
    gPointer = pointer;
}

void Screen::DoEvents() {
    if (QCoreApplication::instance() != nullptr) {
        static std::chrono::steady_clock::time_point lastPoll;
        const auto now = std::chrono::steady_clock::now();
        EventLoopScope scope;
        if (now - lastPoll >= kWindowSystemPollInterval) {
            lastPoll = now;
            QCoreApplication::processEvents();
        } else {
            QCoreApplication::sendPostedEvents();
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        scope.End();
    }
    ReleasePendingForms();
}

void Screen::WaitForEvents() {
    EventLoopScope scope;
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    scope.End();
}

const std::vector<Form*>& Screen::Forms() {
    return LoadedForms();
}

void Screen::Register(Form* form) {
    std::vector<Form*>& forms = LoadedForms();
    if (std::find(forms.begin(), forms.end(), form) == forms.end())
        forms.push_back(form);
}

void Screen::Unregister(Form* form) {
    std::erase(LoadedForms(), form);
}

void Screen::ScheduleRelease(Form* form) {
    std::vector<Form*>& pending = PendingRelease();
    if (std::find(pending.begin(), pending.end(), form) == pending.end())
        pending.push_back(form);
}

void Screen::ForgetRelease(Form* form) {
    std::erase(PendingRelease(), form);
}

void Screen::ReleasePendingForms() {
    // One at a time: deleting a form may delete or detach others, which takes them off the list.
    for (;;) {
        std::vector<Form*>& pending = PendingRelease();
        const auto idle = std::find_if(pending.begin(), pending.end(), [](const Form* form) {
            return form->running_ == 0 && !form->loaded_;
        });
        if (idle == pending.end())
            return;
        Form* form = *idle;
        pending.erase(idle);
        delete form;
    }
}

}  // namespace platform
