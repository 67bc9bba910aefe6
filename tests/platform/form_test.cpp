// Windows: their events, the loaded windows, modal showing, references and failing event procedures.
#include "platform/form.h"
#include "platform/runtime_error.h"
#include "platform/screen.h"

#include <QGuiApplication>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

using namespace platform;

QStringList gEvents;

// A window that records its events as "<name>.<event>".
class RecordingForm : public Form {
public:
    explicit RecordingForm(QString name = QStringLiteral("F")) : name_(std::move(name)) {}
    std::function<void(int& cancel)> onUnload;
    std::function<void()> onActivate;

protected:
    void Form_Initialize() override { Record("Initialize"); }
    void Form_Load() override { Record("Load"); }
    void Form_Activate() override {
        Record("Activate");
        if (onActivate)
            onActivate();
    }
    void Form_Resize() override { Record("Resize"); }
    void Form_Unload(int& cancel) override {
        Record("Unload");
        if (onUnload)
            onUnload(cancel);
    }

private:
    void Record(const char* event) { gEvents << name_ + u'.' + QLatin1String(event); }
    QString name_;
};

// Each test starts with no window loaded and no events, and leaves none behind.
class FormTest : public ::testing::Test {
protected:
    FormTest() { gEvents.clear(); }
    ~FormTest() override {
        while (!Screen::Forms().empty())
            Screen::Forms().front()->Unload();
        Screen::DoEvents();
    }
    static QString Events() { return gEvents.join(u' '); }
};

// Catches load and show events twice or out of order, the list out of load order, an unload left shown.
TEST_F(FormTest, LoadAndShowRunTheirEventsOnceInOrder) {
    RecordingForm a(QStringLiteral("A")), b(QStringLiteral("B")), c(QStringLiteral("C"));
    a.Load();
    b.Load();
    c.Load();
    a.Load();
    b.Unload();
    EXPECT_EQ(Screen::Forms(), (std::vector<Form*>{&a, &c}));
    b.Load();
    EXPECT_EQ(Screen::Forms(), (std::vector<Form*>{&a, &c, &b}));
    RecordingForm shown;
    shown.Show();
    shown.Show();  // already visible: not activated again
    EXPECT_TRUE(shown.Visible());
    EXPECT_EQ(Events(), QStringLiteral("A.Load B.Load C.Load B.Unload B.Load F.Load F.Resize F.Activate"));
    shown.Unload();
    EXPECT_FALSE(shown.Visible() || shown.IsLoaded());
}

// Catches a cancelled unload, from the code or the close box, that still hides or unloads the window, and
// an unload event run again when a window's unload unloads every window, itself among them.
TEST_F(FormTest, CancelledUnloadKeepsTheWindowAndAnUnloadInsideItsOwnDoesNotRecurse) {
    RecordingForm a(QStringLiteral("A")), b(QStringLiteral("B"));
    a.onUnload = [](int& cancel) { cancel = 1; };
    a.Show();
    a.Unload();
    EXPECT_FALSE(a.close());
    EXPECT_TRUE(a.IsLoaded() && a.Visible());
    b.Load();
    a.onUnload = [](int&) {  // as a cancel button that unloads every window
        for (Form* form : std::vector<Form*>(Screen::Forms()))
            form->Unload();
    };
    gEvents.clear();
    EXPECT_TRUE(a.close());
    EXPECT_TRUE(!a.IsLoaded() && Screen::Forms().empty());
    EXPECT_EQ(Events(), QStringLiteral("A.Unload B.Unload"));
}

// Catches a modal show that does not return when its window is unloaded or hidden, even from its activate.
TEST_F(FormTest, ModalShowReturnsWhenTheWindowIsUnloadedOrHidden) {
    RecordingForm form;
    QTimer::singleShot(0, &form, [&form] { form.Unload(); });
    form.Show(vbModal);
    EXPECT_FALSE(form.IsLoaded());
    QTimer::singleShot(0, &form, [&form] { form.Hide(); });
    form.Show(vbModal);
    EXPECT_TRUE(form.IsLoaded() && !form.Visible());
    form.Unload();
    form.onActivate = [&form] { form.Unload(); };
    form.Show(vbModal);
    EXPECT_FALSE(form.IsLoaded());
}

// Catches an owned window made a child of its owner, or destroyed or unlisted with it.
TEST_F(FormTest, OwnedWindowStaysAboveItsOwnerAndOutlivesIt) {
    auto* owner = new RecordingForm(QStringLiteral("Owner"));
    RecordingForm owned(QStringLiteral("Owned"));
    owner->Show();
    owned.Show(vbModeless, owner);
    EXPECT_EQ(owned.parentWidget(), owner);
    EXPECT_TRUE(owned.isWindow() && owned.Visible());
    delete owner;
    EXPECT_EQ(owned.parentWidget(), nullptr);
    EXPECT_EQ(Screen::Forms(), (std::vector<Form*>{&owned}));
}

// Catches a reference that does not create on demand, or releases a window that is still loaded.
TEST_F(FormTest, ReferenceCreatesOnDemandAndReleasesOnlyUnloadedWindows) {
    FormRef<RecordingForm> ref;
    EXPECT_TRUE(ref.IsEmpty());
    RecordingForm* first = ref.Get();
    EXPECT_EQ(ref.operator->(), first);
    EXPECT_EQ(ref.Peek(), first);
    EXPECT_EQ(Events(), QStringLiteral("F.Initialize"));
    ref->Load();
    QPointer<RecordingForm> watch(first);
    ref.Reset();
    EXPECT_TRUE(ref.IsEmpty());
    Screen::DoEvents();
    EXPECT_FALSE(watch.isNull()) << "a loaded window stays alive while loaded";
    first->Unload();
    Screen::DoEvents();
    EXPECT_TRUE(watch.isNull());
    EXPECT_FALSE(ref.Get()->IsLoaded());
    ref.Reset();
    Screen::DoEvents();
}

// Catches a window released while its own event procedure still runs (as the main window at its end).
TEST_F(FormTest, WindowUnloadedByItsOwnCodeIsReleasedOnlyAfterThatCodeReturns) {
    static FormRef<RecordingForm> ref;
    QPointer<RecordingForm> watch(ref.Get());
    bool aliveInside = false;
    ref->onUnload = [](int&) { ref.Reset(); };
    ref->onActivate = [&] {
        watch->Unload();
        Screen::DoEvents();
        aliveInside = !watch.isNull();
    };
    ref->Show();
    EXPECT_TRUE(aliveInside && !watch.isNull()) << "released while its own code ran";
    Screen::DoEvents();
    EXPECT_TRUE(watch.isNull());
}

// A window with a button whose event procedure fails (ends the program or raises 75), counting its runs.
class FailingButtonForm : public Form {
public:
    explicit FailingButtonForm(bool endsProgram) : ends(endsProgram) {
        OnClick(cmdFail, &FailingButtonForm::cmdFail_Click);
    }
    QPushButton* cmdFail = new QPushButton(this);
    int clicks = 0;
    const bool ends;

private:
    void cmdFail_Click() {
        ++clicks;
        if (ends)
            throw EndProgram();
        throw RuntimeError(75, QStringLiteral("Path/File access error"));
    }
};

// Catches a failure crossing Qt's loop (lost or tearing through it), or a procedure run in a loop being left.
TEST_F(FormTest, FailingEventProcedureLeavesTheLoopThatCalledItAndIsRaisedAfterIt) {
    // What runs the clicks, whether two clicks wait in the event queue for it, and what it raises.
    // clang-format off
    const struct { const char* what; bool endsProgram; std::function<void(FailingButtonForm&)> run; bool queued;
                   std::string raised; } cases[] = {
        {"a modal window's loop", true, [](FailingButtonForm& f) { f.Show(vbModal); }, true, "EndProgram"},
        {"pending events", false, [](FailingButtonForm&) { Screen::DoEvents(); }, true, "error 75"},
        {"a statement", false, [](FailingButtonForm& form) { form.cmdFail->click(); }, false, "error 75"},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        FailingButtonForm form(c.endsProgram);
        bool carriedOn = false;
        if (c.queued) {
            QMetaObject::invokeMethod(
                &form, [&form] { form.cmdFail->click(), form.cmdFail->click(); }, Qt::QueuedConnection);
            QMetaObject::invokeMethod(
                &form, [&carriedOn] { carriedOn = true; }, Qt::QueuedConnection);
        }
        std::string raised = "nothing";
        try {
            c.run(form);
        } catch (const EndProgram&) {
            raised = "EndProgram";
        } catch (const RuntimeError& error) {
            raised = "error " + std::to_string(error.Number());
        }
        EXPECT_EQ(raised, c.raised);
        EXPECT_EQ(form.clicks, 1) << "no procedure runs in a loop that is being left";
        EXPECT_EQ(carriedOn, c.queued) << "the failure tore through the loop's pass over its events";
        form.Unload();
    }
}

// Catches the hourglass not shown as the wait cursor, or not taken off again.
TEST_F(FormTest, MousePointerIsTheOverrideCursor) {
    Screen::SetMousePointer(vbHourglass);
    Screen::SetMousePointer(vbHourglass);
    EXPECT_EQ(Screen::MousePointer(), vbHourglass);
    EXPECT_EQ(
        QGuiApplication::overrideCursor() ? QGuiApplication::overrideCursor()->shape() : Qt::BlankCursor,
        Qt::WaitCursor);
    Screen::SetMousePointer(vbDefault);
    EXPECT_TRUE(Screen::MousePointer() == vbDefault && QGuiApplication::overrideCursor() == nullptr);
}

}  // namespace
