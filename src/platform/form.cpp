#include "platform/form.h"

#include "platform/application.h"
#include "platform/event_loop.h"
#include "platform/screen.h"
#include "platform/system_font.h"

#include <QCloseEvent>
#include <QEventLoop>
#include <QHideEvent>
#include <QScopeGuard>

namespace platform {

class Form::RunningScope {
  public:
    explicit RunningScope(Form* form) : form_(form) { ++form_->running_; }
    ~RunningScope() { --form_->running_; }
    RunningScope(const RunningScope&) = delete;
    RunningScope& operator=(const RunningScope&) = delete;

  private:
    Form* form_;
};

Form::Form(QWidget* parent) : QWidget(parent) {
    setFont(SystemFont());
}

Form::~Form() {
    Screen::Unregister(this);
    Screen::ForgetRelease(this);
    // Windows this one owns have references of their own: they outlive their owner.
    for (Form* owned : findChildren<Form*>(Qt::FindDirectChildrenOnly)) {
        if (owned->isWindow())
            owned->setParent(nullptr, owned->windowFlags());
    }
}

void Form::Initialize() {
    if (initialized_)
        return;
    RunningScope running(this);
    initialized_ = true;
    Form_Initialize();
}

void Form::Load() {
    if (loaded_)
        return;
    RunningScope running(this);
    loaded_ = true;
    Screen::Register(this);
    Form_Load();
}

void Form::Show(int modal, QWidget* owner) {
    RunningScope running(this);
    Load();
    // The load event may have unloaded the window again.
    if (!loaded_)
        return;
    if (owner && parentWidget() != owner)
        setParent(owner, windowFlags() | Qt::Window);
    const bool wasVisible = isVisible();
    if (modal == vbModal && !wasVisible)
        setWindowModality(Qt::ApplicationModal);
    show();
    // Offscreen windows cannot be raised or focused (Qt warns on every try), and need not be.
    if (!IsHeadless()) {
        raise();
        activateWindow();
    }
    if (!wasVisible)
        Form_Activate();
    if (modal != vbModal || !loaded_ || !isVisible())
        return;
    QEventLoop loop;
    modalLoop_ = &loop;
    const auto done = qScopeGuard([this] { modalLoop_ = nullptr; });
    EventLoopScope scope([&loop] { loop.quit(); });
    loop.exec(QEventLoop::DialogExec);
    scope.End();
    if (!isVisible())
        setWindowModality(Qt::NonModal);
}

void Form::Hide() {
    hide();
}

void Form::Unload() {
    if (!loaded_ || inUnload_)
        return;
    RunningScope running(this);
    int cancel = 0;
    {
        inUnload_ = true;
        const auto done = qScopeGuard([this] { inUnload_ = false; });
        Form_Unload(cancel);
    }
    if (cancel != 0)
        return;
    hide();
    loaded_ = false;
    Screen::Unregister(this);
    if (modalLoop_)
        modalLoop_->quit();
    // An unloaded window no longer belongs to its owner, so that the owner's deletion cannot take it along.
    if (isWindow() && parentWidget())
        setParent(nullptr, windowFlags());
}

int Form::Width() const {
    return PixelsToTwips(frameGeometry().width());
}

int Form::Height() const {
    return PixelsToTwips(frameGeometry().height());
}

void Form::SetWidth(int twips) {
    const int frame = frameGeometry().width() - width();
    resize(std::max(0, TwipsToPixels(twips) - frame), height());
}

void Form::SetHeight(int twips) {
    const int frame = frameGeometry().height() - height();
    resize(width(), std::max(0, TwipsToPixels(twips) - frame));
}

void Form::SetClientSize(int widthTwips, int heightTwips) {
    resize(TwipsToPixels(widthTwips), TwipsToPixels(heightTwips));
}

int Form::WindowState() const {
    const Qt::WindowStates state = windowState();
    if (state & Qt::WindowMinimized)
        return vbMinimized;
    if (state & (Qt::WindowMaximized | Qt::WindowFullScreen))
        return vbMaximized;
    return vbNormal;
}

void Form::SetWindowState(int state) {
    Qt::WindowStates qtState =
        windowState() & ~(Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen);
    if (state == vbMinimized)
        qtState |= Qt::WindowMinimized;
    if (state == vbMaximized)
        qtState |= Qt::WindowMaximized;
    setWindowState(qtState);
}

void Form::Refresh() {
    repaint();
}

void Form::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (!loaded_)
        return;
    RunningScope running(this);
    RunEventProcedure([this] { Form_Resize(); });
}

void Form::closeEvent(QCloseEvent* event) {
    RunningScope running(this);
    RunEventProcedure([this] { Unload(); });
    event->setAccepted(!loaded_);
}

void Form::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    // Minimizing hides a window spontaneously; that does not end a modal Show.
    if (modalLoop_ && !event->spontaneous())
        modalLoop_->quit();
}

void FormRefBase::Release(Form* form) {
    Screen::ScheduleRelease(form);
}

}  // namespace platform
