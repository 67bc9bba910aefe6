// Every text a window shows fits its control at the window's design size, in the control's font: a longer
// text, a smaller control or a wider font fails here. Numbers and dates are written at their longest.
#include "app/frm_message.h"
#include "app/frm_process_disqualifications_queue.h"
#include "localrefresh/frm_setup_laptop.h"
#include "platform/screen.h"
#include "setup/get_data_path.h"
#include "support/program_environment.h"
#include "support/system_texts.h"

#include <QCheckBox>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;
namespace texts = testsupport::texts;

namespace {

// The width a button, option, check box or frame of control's kind asks for to show text in control's font.
template <class Kind>
int WidthAskedBy(QWidget* control, const QString& text) {
    if (qobject_cast<Kind*>(control) == nullptr)
        return -1;
    Kind probe(text);
    probe.setFont(control->font());
    return std::max(probe.sizeHint().width(), probe.minimumSizeHint().width());
}

// The room text needs in control, and the room control has.
std::pair<QSize, QSize> Room(QWidget* control, const QString& text) {
    const QFontMetrics metrics(control->font());
    if (auto* label = qobject_cast<QLabel*>(control)) {
        const QRect room = label->contentsRect();
        return {label->wordWrap() ? metrics.boundingRect(room, Qt::TextWordWrap, text).size()
                                  : QSize(metrics.horizontalAdvance(text), metrics.height()),
                room.size()};
    }
    // The status bar keeps a margin of 6 px at each end.
    const int bar = qobject_cast<QStatusBar*>(control) ? metrics.horizontalAdvance(text) + 12 : -1;
    const int needed =
        std::max({bar, WidthAskedBy<QPushButton>(control, text), WidthAskedBy<QRadioButton>(control, text),
                  WidthAskedBy<QCheckBox>(control, text), WidthAskedBy<QGroupBox>(control, text)});
    return {{needed, 0}, {control->width(), 0}};
}

// A control and every text the program can give it.
struct Captions {
    QWidget* widget;
    QStringList texts;
};

TEST(CaptionsFit, EveryTextOfEveryWindowFitsItsControlAtDesignSize) {
    testsupport::ProgramEnvironment env;
    auto* main = app::gfrmProcessDisqualificationsQueue.Get();
    EXPECT_EQ(main->Caption(), u"Process Disqualifications Queue"_s);  // the title the task bar shows
    auto* message = app::gfrmMessage.Get();
    auto* dialog = setup::gGetDataPath.Get();
    localrefresh::frmSetupLaptop* laptop = localrefresh::gfrmSetupLaptop.Get();
    laptop->Show(platform::vbModeless);  // its controls are laid out when it is shown
    QStringList phases = {texts::kRemoving, texts::kClientCases, texts::kClientHistory};
    for (const texts::OffenceKind& kind : texts::kKinds)
        phases << kind.caseCaption << kind.historyCaption;

    const std::vector<Captions> controls = {
        {main->lblLaunchTime,
         {u"Waiting for 28/12/2026 23:59:59"_s, u"Rebuild began at 28/12/2026 23:59:59"_s,
          u"Process 4194304 on WORKSTATION-015 since 28/12/2026 23:59:59"_s}},
        {main->lblQueueSize,
         {u"Information to rebuild is missing. Rebuild not performed."_s, u"No rebuild has been scheduled."_s,
          u"This workstation is not set up for Kestrane."_s,
          u"This workstation does not have access to Kestrane."_s,
          u"There are no disqualifications in the rebuild queue."_s,
          u"There are 2147483647 item(s) in the queue."_s,
          u"Another run holds this data. Rebuild not performed."_s}},
        {main->lblProcessCount, {u"Total of 2147483647 processed."_s}},
        {message->lblMessage, phases},
        {message->stsBar, {u"Processed 2147483647 entries"_s}},
        {dialog->Label3, {u"WARNING:"_s}},
        {dialog->Label4,
         {u"This is part of the Setup procedure for your computer. Please contact your System Administrator "
          u"on instructions to procede or click Cancel to quit for now."_s}},
        {dialog->Label5, {u"Select Drive:"_s}},
        {dialog->Label6, {u"Select Folder:"_s}},
        {dialog->Label1,
         {u"The database file name will appear below when you have selected a folder in which it exists."_s,
          u"The KS_users.mdb file name will appear below when you have selected a directory in which it "
          u"exists."_s}},
        {dialog->Label2, {u"Data Path:"_s}},
        {dialog->cmdOK, {u"&OK"_s}},
        {dialog->cmdCancel, {u"Cancel"_s}},
        {dialog->cmdLocate, {u"&Locate"_s}},
        {dialog->cmdCDInstall, {u"&CD Install"_s}},
        {laptop->Frame1[0], {u"Remote Data Directories "_s}},
        {laptop->Frame1[1], {u"Local Data Directories "_s}},
        {laptop->lblPrompts[0], {u"KS Data Directory"_s}},
        {laptop->lblPrompts[1], {u"KS Data Directory"_s}},
        {laptop->Label1, {u"Select Directory:"_s}},
        {laptop->optRemote, {u"Remote"_s}},
        {laptop->optLocal, {u"Local"_s}},
        {laptop->chkCopy, {u"Refresh Local from Remote"_s}},
        {laptop->lblProgress,
         {u"Copying Main Data Base..."_s, u"Copying Users Data Base..."_s,
          u"Copying Select and Sort Data Base..."_s, u"Refresh Complete"_s}},
        {laptop->cmdOK, {u"&OK"_s}},
    };
    for (const Captions& control : controls) {
        EXPECT_EQ(QFontInfo(control.widget->font()).family(), control.widget->font().family())
            << control.texts[0].toStdString() << ": the font is not installed";
        for (const QString& text : control.texts) {
            const auto [needed, room] = Room(control.widget, text);
            EXPECT_TRUE(needed.width() <= room.width() && needed.height() <= room.height())
                << '"' << text.toStdString() << "\" needs " << needed.width() << " x " << needed.height()
                << " px, has " << room.width() << " x " << room.height();
        }
    }

    laptop->Unload();
    for (platform::FormRefBase* reference : std::initializer_list<platform::FormRefBase*>{
             &app::gfrmProcessDisqualificationsQueue, &app::gfrmMessage, &setup::gGetDataPath})
        reference->Reset();
    platform::Screen::DoEvents();
}

}  // namespace
