#pragma once
// A window of the program: a Qt widget with the load/activate/resize/unload life of the system's windows, in
// the system font's stand-in. Sizes are in twips (15 twips = 1 pixel). Event procedures that Qt calls (the
// close box, a resize, a control's signal) run through the event guard of platform/event_loop.h.

#include "platform/event_loop.h"

#include <QAbstractButton>
#include <QWidget>

#include <functional>

class QEventLoop;

namespace platform {

inline constexpr int kTwipsPerPixel = 15;
inline constexpr int TwipsToPixels(int twips) { return twips / kTwipsPerPixel; }
inline constexpr int PixelsToTwips(int pixels) { return pixels * kTwipsPerPixel; }

inline constexpr int vbNormal = 0;
inline constexpr int vbMinimized = 1;
inline constexpr int vbMaximized = 2;

inline constexpr int vbModeless = 0;
inline constexpr int vbModal = 1;

class Form : public QWidget {
    Q_OBJECT
public:
    explicit Form(QWidget* parent = nullptr);
    ~Form() override;

    // Runs Form_Initialize once; FormRef calls it right after creating the instance.
    void Initialize();
    // Loads the window: adds it to Screen::Forms and runs Form_Load. Does nothing when already loaded. An
    // error of Form_Load reaches the caller, the window staying loaded.
    void Load();
    // Loads when needed, shows the window and runs Form_Activate. vbModal runs a local event loop until the
    // window is hidden or unloaded, or until an event procedure fails: the failure is raised again here.
    // owner, when given, owns the window (it stays above the owner).
    virtual void Show(int modal = vbModeless, QWidget* owner = nullptr);
    void Hide();
    // Runs Form_Unload; unless it cancels, hides the window and removes it from Screen::Forms. An error of
    // Form_Unload reaches the caller, the window staying loaded.
    void Unload();

    bool IsLoaded() const { return loaded_; }
    bool Visible() const { return isVisible(); }
    QString Caption() const { return windowTitle(); }
    void SetCaption(const QString& caption) { setWindowTitle(caption); }

    // Outer size of the window in twips.
    int Width() const;
    int Height() const;
    void SetWidth(int twips);
    void SetHeight(int twips);
    // Sets the client area in twips.
    void SetClientSize(int widthTwips, int heightTwips);

    int WindowState() const;
    void SetWindowState(int state);

    // Repaints the window at once.
    void Refresh();

protected:
    // Runs procedure, an event procedure of this window, when button is clicked, through the event guard.
    template <class Window>
    void OnClick(QAbstractButton* button, void (Window::*procedure)()) {
        auto* window = static_cast<Window*>(this);
        connect(button, &QAbstractButton::clicked, this,
                EventProcedure([window, procedure] { (window->*procedure)(); }));
    }

    virtual void Form_Initialize() {}
    virtual void Form_Load() {}
    virtual void Form_Activate() {}
    virtual void Form_Resize() {}
    virtual void Form_Unload(int& cancel) {}

    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    friend class Screen;
    // Counts the platform calls of this form that are on the stack; a released form is deleted only at zero.
    class RunningScope;

    bool initialized_ = false;
    bool loaded_ = false;
    bool inUnload_ = false;
    int running_ = 0;
    QEventLoop* modalLoop_ = nullptr;  // the local loop of a modal Show
};

// A program-wide reference variable to a window: using it while empty creates a new instance; Reset empties
// it and releases the instance once no code of it runs any more.
class FormRefBase {
public:
    virtual ~FormRefBase() = default;
    virtual bool IsEmpty() const = 0;
    virtual void Reset() = 0;
    virtual Form* Peek() const = 0;

protected:
    // Releases an instance at the next DoEvents (or at exit), never while its own code may be running.
    static void Release(Form* form);
};

template <class T>
class FormRef : public FormRefBase {
public:
    T* Get() {
        if (!form_) {
            form_ = new T();
            form_->Initialize();
        }
        return form_;
    }
    T* operator->() { return Get(); }
    T& operator*() { return *Get(); }
    bool IsEmpty() const override { return form_ == nullptr; }
    Form* Peek() const override { return form_; }
    void Reset() override {
        if (form_) Release(form_);
        form_ = nullptr;
    }

private:
    T* form_ = nullptr;
};

}  // namespace platform
