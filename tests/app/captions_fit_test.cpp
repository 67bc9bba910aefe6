// Every text that a window shows in a label, a button, an option, a check box, a frame or the status bar fits
// its control at the window's design size, measured in the font the control carries: a longer text, or a
// wider font, fails here. The texts are written out as the program shows them, numbers and dates at their
// longest.
#include "app/frm_message.h"
#include "app/frm_process_disqualifications_queue.h"
#include "localrefresh/frm_setup_laptop.h"
#include "platform/screen.h"
#include "setup/get_data_path.h"
#include "support/program_environment.h"

#include <QCheckBox>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>

#include <gtest/gtest.h>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

// The width a button, option, check box or frame of control's kind asks for to show text in control's font.
template <class Kind>
int WidthAskedBy(QWidget* control, const QString& text) {
    auto* kind = qobject_cast<Kind*>(control);
    if (kind == nullptr)
        return -1;
    Kind probe(text);
    probe.setFont(control->font());
    return std::max(probe.sizeHint().width(), probe.minimumSizeHint().width());
}

// Why text does not fit control, or nothing when it does.
std::string Misfit(QWidget* control, const QString& text) {
    const QFontMetrics metrics(control->font());
    if (auto* label = qobject_cast<QLabel*>(control)) {
        const QRect room = label->contentsRect();
        const QRect needed = label->wordWrap()
                                 ? metrics.boundingRect(room, Qt::TextWordWrap, text)
                                 : QRect(0, 0, metrics.horizontalAdvance(text), metrics.height());
        if (needed.width() <= room.width() && needed.height() <= room.height())
            return {};
        return "needs " + std::to_string(needed.width()) + " x " + std::to_string(needed.height()) +
               " px, has " + std::to_string(room.width()) + " x " + std::to_string(room.height());
    }
    if (qobject_cast<QStatusBar*>(control) != nullptr) {
        // The bar leaves a margin at each end of its message.
        const int needed = metrics.horizontalAdvance(text) + 2 * 6;
        return needed <= control->width() ? std::string() : "needs " + std::to_string(needed) + " px";
    }
    const int needed =
        std::max({WidthAskedBy<QPushButton>(control, text), WidthAskedBy<QRadioButton>(control, text),
                  WidthAskedBy<QCheckBox>(control, text), WidthAskedBy<QGroupBox>(control, text)});
    return needed <= control->width()
               ? std::string()
               : "needs " + std::to_string(needed) + " px, has " + std::to_string(control->width());
}

// A control and every text the program can give it.
struct Captions {
    const char* control;
    QWidget* widget;
    QStringList texts;
};

TEST(CaptionsFit, EveryTextOfEveryWindowFitsItsControlAtDesignSize) {
    testsupport::ProgramEnvironment env;
    auto* main = app::gfrmProcessDisqualificationsQueue.Get();
    auto* message = app::gfrmMessage.Get();
    auto* dialog = setup::gGetDataPath.Get();
    localrefresh::frmSetupLaptop* laptop = localrefresh::gfrmSetupLaptop.Get();
    laptop->Show(platform::vbModeless);  // its controls are laid out when it is shown

    const std::vector<Captions> controls = {
        {"lblLaunchTime",
         main->lblLaunchTime,
         {u"Waiting for 28/12/2026 23:59:59"_s, u"Rebuild began at 28/12/2026 23:59:59"_s,
          u"Process 4194304 on WORKSTATION-015 since 28/12/2026 23:59:59"_s}},
        {"lblQueueSize",
         main->lblQueueSize,
         {u"Information to rebuild is missing. Rebuild not performed."_s, u"No rebuild has been scheduled."_s,
          u"This workstation is not set up for Kestrane."_s,
          u"This workstation does not have access to Kestrane."_s,
          u"There are no disqualifications in the rebuild queue."_s,
          u"There are 2147483647 item(s) in the queue."_s,
          u"Another run holds this data. Rebuild not performed."_s}},
        {"lblProcessCount", main->lblProcessCount, {u"Total of 2147483647 processed."_s}},
        {"lblMessage",
         message->lblMessage,
         {u"Removing disqualifications..."_s, u"Updating Blacklist based on Case drug offenses..."_s,
          u"Updating Blacklist based on Case sex offenses..."_s,
          u"Updating Blacklist based on Case theft offenses..."_s,
          u"Updating Blacklist based on Case violent offenses..."_s,
          u"Updating Blacklist based on Criminal History drug offenses..."_s,
          u"Updating Blacklist based on Criminal History sex offenses..."_s,
          u"Updating Blacklist based on Criminal History theft offenses..."_s,
          u"Updating Blacklist based on Criminal History violent offenses..."_s,
          u"Updating Case entries..."_s, u"Updating Criminal History entries..."_s}},
        {"stsBar", message->stsBar, {u"Processed 2147483647 entries"_s}},
        {"Label3", dialog->Label3, {u"WARNING:"_s}},
        {"Label4",
         dialog->Label4,
         {u"This is part of the Setup procedure for your computer. Please contact your System Administrator "
          u"on instructions to procede or click Cancel to quit for now."_s}},
        {"Label5", dialog->Label5, {u"Select Drive:"_s}},
        {"Label6", dialog->Label6, {u"Select Folder:"_s}},
        {"Label1",
         dialog->Label1,
         {u"The database file name will appear below when you have selected a folder in which it exists."_s,
          u"The KS_users.mdb file name will appear below when you have selected a directory in which it "
          u"exists."_s}},
        {"Label2", dialog->Label2, {u"Data Path:"_s}},
        {"cmdOK", dialog->cmdOK, {u"&OK"_s}},
        {"cmdCancel", dialog->cmdCancel, {u"Cancel"_s}},
        {"cmdLocate", dialog->cmdLocate, {u"&Locate"_s}},
        {"cmdCDInstall", dialog->cmdCDInstall, {u"&CD Install"_s}},
        {"Frame1(0)", laptop->Frame1[0], {u"Remote Data Directories "_s}},
        {"Frame1(1)", laptop->Frame1[1], {u"Local Data Directories "_s}},
        {"lblPrompts(0)", laptop->lblPrompts[0], {u"KS Data Directory"_s}},
        {"lblPrompts(1)", laptop->lblPrompts[1], {u"KS Data Directory"_s}},
        {"Label1", laptop->Label1, {u"Select Directory:"_s}},
        {"optRemote", laptop->optRemote, {u"Remote"_s}},
        {"optLocal", laptop->optLocal, {u"Local"_s}},
        {"chkCopy", laptop->chkCopy, {u"Refresh Local from Remote"_s}},
        {"lblProgress",
         laptop->lblProgress,
         {u"Copying Main Data Base..."_s, u"Copying Users Data Base..."_s,
          u"Copying Select and Sort Data Base..."_s, u"Refresh Complete"_s}},
        {"cmdOK", laptop->cmdOK, {u"&OK"_s}},
    };
    for (const Captions& control : controls) {
        EXPECT_EQ(QFontInfo(control.widget->font()).family(), control.widget->font().family())
            << control.control << ": the font is not installed";
        for (const QString& text : control.texts)
            EXPECT_EQ(Misfit(control.widget, text), "")
                << control.control << ": \"" << text.toStdString() << '"';
    }

    laptop->Unload();
    for (platform::FormRefBase* reference : std::initializer_list<platform::FormRefBase*>{
             &app::gfrmProcessDisqualificationsQueue, &app::gfrmMessage, &setup::gGetDataPath})
        reference->Reset();
    platform::Screen::DoEvents();
}

}  // namespace
