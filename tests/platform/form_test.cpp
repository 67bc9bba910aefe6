// Windows: the load, activate, resize and unload events in order, the collection of loaded windows, modal
// showing, sizes in twips, program-wide references that create on demand and release safely, and event
// procedures whose failures never cross Qt's event loop.
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

std::vector<QString> gEvents;

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
    void Record(const char* event) { gEvents.push_back(name_ + u'.' + QLatin1String(event)); }
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

    static std::vector<Form*> Loaded() { return Screen::Forms(); }
};

TEST_F(FormTest, LoadRunsOnceAndFormsKeepLoadOrder) {
    RecordingForm a(QStringLiteral("A")), b(QStringLiteral("B")), c(QStringLiteral("C"));
    a.Load();
    b.Load();
    c.Load();
    a.Load();
    EXPECT_EQ(Loaded(), (std::vector<Form*>{&a, &b, &c}));
    b.Unload();
    EXPECT_EQ(Loaded(), (std::vector<Form*>{&a, &c}));
    b.Load();
    EXPECT_EQ(Loaded(), (std::vector<Form*>{&a, &c, &b}));
    EXPECT_EQ(gEvents, (std::vector<QString>{QStringLiteral("A.Load"), QStringLiteral("B.Load"),
                                             QStringLiteral("C.Load"), QStringLiteral("B.Unload"),
                                             QStringLiteral("B.Load")}));
}

TEST_F(FormTest, ShowLoadsThenResizesThenActivates) {
    RecordingForm form;
    form.Show();
    EXPECT_TRUE(form.IsLoaded());
    EXPECT_TRUE(form.Visible());
    form.Show();  // already visible: not activated again
    EXPECT_EQ(gEvents, (std::vector<QString>{QStringLiteral("F.Load"), QStringLiteral("F.Resize"),
                                             QStringLiteral("F.Activate")}));
    form.Unload();
    EXPECT_FALSE(form.Visible());
    EXPECT_FALSE(form.IsLoaded());
}

TEST_F(FormTest, CancelledUnloadKeepsTheWindowLoaded) {
    RecordingForm form;
    form.onUnload = [](int& cancel) { cancel = 1; };
    form.Show();
    form.Unload();
    EXPECT_TRUE(form.IsLoaded());
    EXPECT_TRUE(form.Visible());
    EXPECT_EQ(Loaded(), (std::vector<Form*>{&form}));
    form.onUnload = nullptr;
}

TEST_F(FormTest, UnloadInsideItsOwnUnloadDoesNotRecurse) {
    RecordingForm a(QStringLiteral("A")), b(QStringLiteral("B"));
    a.Load();
    b.Load();
    // As a cancel button that unloads every window does from A's unload event.
    a.onUnload = [](int&) {
        const std::vector<Form*> all = Screen::Forms();
        for (Form* form : all)
            form->Unload();
    };
    a.Unload();
    EXPECT_TRUE(Loaded().empty());
    EXPECT_EQ(gEvents, (std::vector<QString>{QStringLiteral("A.Load"), QStringLiteral("B.Load"),
                                             QStringLiteral("A.Unload"), QStringLiteral("B.Unload")}));
}

TEST_F(FormTest, CloseBoxUnloadsUnlessCancelled) {
    RecordingForm form;
    form.Show();
    form.onUnload = [](int& cancel) { cancel = 1; };
    EXPECT_FALSE(form.close());
    EXPECT_TRUE(form.IsLoaded());
    form.onUnload = nullptr;
    EXPECT_TRUE(form.close());
    EXPECT_FALSE(form.IsLoaded());
    EXPECT_TRUE(Loaded().empty());
}

TEST_F(FormTest, ModalShowReturnsWhenTheWindowIsUnloadedOrHidden) {
    RecordingForm form;
    QTimer::singleShot(0, &form, [&form] { form.Unload(); });
    form.Show(vbModal);
    EXPECT_FALSE(form.IsLoaded());

    QTimer::singleShot(0, &form, [&form] { form.Hide(); });
    form.Show(vbModal);
    EXPECT_TRUE(form.IsLoaded());
    EXPECT_FALSE(form.Visible());
}

TEST_F(FormTest, ModalShowOfAWindowThatUnloadsInItsActivateReturnsAtOnce) {
    RecordingForm form;
    form.onActivate = [&form] { form.Unload(); };
    form.Show(vbModal);
    EXPECT_FALSE(form.IsLoaded());
}

TEST_F(FormTest, OwnedWindowStaysAboveItsOwnerAndOutlivesIt) {
    auto* owner = new RecordingForm(QStringLiteral("Owner"));
    RecordingForm owned(QStringLiteral("Owned"));
    owner->Show();
    owned.Show(vbModeless, owner);
    EXPECT_EQ(owned.parentWidget(), owner);
    EXPECT_TRUE(owned.isWindow());
    EXPECT_TRUE(owned.Visible());
    delete owner;
    EXPECT_EQ(owned.parentWidget(), nullptr);
    EXPECT_EQ(Loaded(), (std::vector<Form*>{&owned}));
}

TEST_F(FormTest, SizesAreInTwips) {
    RecordingForm form;
    form.SetClientSize(6315, 1140);
    EXPECT_EQ(form.width(), 421);
    EXPECT_EQ(form.height(), 76);
    form.Show();
    form.SetWidth(3000);
    form.SetHeight(1500);
    EXPECT_EQ(form.Width(), 3000);
    EXPECT_EQ(form.Height(), 1500);
    form.SetWidth(form.Width());
    EXPECT_EQ(form.Width(), 3000);
}

TEST_F(FormTest, ResizeOfAShownWindowRunsFormResize) {
    RecordingForm form;
    form.Show();
    gEvents.clear();
    form.SetWidth(6000);
    Screen::DoEvents();
    EXPECT_EQ(gEvents, (std::vector<QString>{QStringLiteral("F.Resize")}));
}

TEST_F(FormTest, ReferenceCreatesOnDemandAndReleasesOnlyUnloadedWindows) {
    FormRef<RecordingForm> ref;
    EXPECT_TRUE(ref.IsEmpty());
    RecordingForm* first = ref.Get();
    EXPECT_EQ(ref.operator->(), first);
    EXPECT_EQ(ref.Peek(), first);
    EXPECT_EQ(gEvents, (std::vector<QString>{QStringLiteral("F.Initialize")}));

    ref->Load();
    QPointer<RecordingForm> watch(first);
    ref.Reset();
    EXPECT_TRUE(ref.IsEmpty());
    Screen::DoEvents();
    EXPECT_FALSE(watch.isNull()) << "a loaded window stays alive while loaded";
    first->Unload();
    Screen::DoEvents();
    EXPECT_TRUE(watch.isNull());

    RecordingForm* second = ref.Get();
    EXPECT_FALSE(second->IsLoaded());
    ref.Reset();
    Screen::DoEvents();
}

TEST_F(FormTest, WindowUnloadedByItsOwnCodeIsReleasedOnlyAfterThatCodeReturns) {
    static FormRef<RecordingForm> ref;
    QPointer<RecordingForm> watch(ref.Get());
    bool aliveInside = false;
    // As the main window does at the end of its run: it unloads itself from its own event procedure, its
    // unload event empties the reference, and pending events run before the procedure returns.
    ref->onUnload = [](int&) { ref.Reset(); };
    ref->onActivate = [&] {
        watch->Unload();
        Screen::DoEvents();
        aliveInside = !watch.isNull();
    };
    ref->Show();
    EXPECT_TRUE(aliveInside) << "released while its own code ran";
    EXPECT_FALSE(watch.isNull());
    Screen::DoEvents();
    EXPECT_TRUE(watch.isNull());
}

// A window with a button whose event procedure fails, counting its runs.
class FailingButtonForm : public Form {
public:
    explicit FailingButtonForm(bool endsProgram) : endsProgram_(endsProgram) {
        OnClick(cmdFail, &FailingButtonForm::cmdFail_Click);
    }
    QPushButton* cmdFail = new QPushButton(this);
    int clicks = 0;

private:
    void cmdFail_Click() {
        ++clicks;
        if (endsProgram_)
            throw EndProgram();
        throw RuntimeError(75, QStringLiteral("Path/File access error"));
    }
    bool endsProgram_;
};

// What reached the caller: "EndProgram", "error <number>" or "nothing".
template <class Call>
std::string Raised(Call call) {
    try {
        call();
    } catch (const EndProgram&) {
        return "EndProgram";
    } catch (const RuntimeError& error) {
        return "error " + std::to_string(error.Number());
    }
    return "nothing";
}

TEST_F(FormTest, FailingEventProcedureLeavesTheLoopThatCalledItAndIsRaisedAfterIt) {
    struct Case {
        const char* what;
        bool endsProgram;
        std::function<void(FailingButtonForm&)> run;
        bool queued;  // two clicks wait in the event queue for run to deliver them
        std::string raised;
    };
    const std::vector<Case> cases = {
        {"a modal window's loop", true, [](FailingButtonForm& form) { form.Show(vbModal); }, true,
         "EndProgram"},
        {"pending events", false, [](FailingButtonForm&) { Screen::DoEvents(); }, true, "error 75"},
        {"a statement", false, [](FailingButtonForm& form) { form.cmdFail->click(); }, false, "error 75"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FailingButtonForm form(c.endsProgram);
        bool carriedOn = false;
        if (c.queued) {
            QMetaObject::invokeMethod(
                &form,
                [&form] {
                    form.cmdFail->click();
                    form.cmdFail->click();
                },
                Qt::QueuedConnection);
            QMetaObject::invokeMethod(&form, [&carriedOn] { carriedOn = true; }, Qt::QueuedConnection);
        }
        EXPECT_EQ(Raised([&] { c.run(form); }), c.raised);
        EXPECT_EQ(form.clicks, 1) << "no procedure runs in a loop that is being left";
        EXPECT_EQ(carriedOn, c.queued) << "the failure tore through the loop's pass over its events";
        form.Unload();
    }
}

TEST_F(FormTest, MousePointerIsTheOverrideCursor) {
    EXPECT_EQ(Screen::MousePointer(), vbDefault);
    Screen::SetMousePointer(vbHourglass);
    EXPECT_EQ(Screen::MousePointer(), vbHourglass);
    ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
    Screen::SetMousePointer(vbHourglass);
    Screen::SetMousePointer(vbDefault);
    EXPECT_EQ(Screen::MousePointer(), vbDefault);
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

}  // namespace
