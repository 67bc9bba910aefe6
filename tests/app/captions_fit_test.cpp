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

#include <functional>
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

struct Caption {
    const char* control;
    std::function<QWidget*()> find;
    QString text;
};

TEST(CaptionsFit, EveryTextOfEveryWindowFitsItsControlAtDesignSize) {
    testsupport::ProgramEnvironment env;
    auto* main = app::gfrmProcessDisqualificationsQueue.Get();
    auto* message = app::gfrmMessage.Get();
    auto* dialog = setup::gGetDataPath.Get();
    localrefresh::frmSetupLaptop* laptop = localrefresh::gfrmSetupLaptop.Get();
    laptop->Show(platform::vbModeless);  // its controls are laid out when it is shown

    const auto launch = [&] { return main->lblLaunchTime; };
    const auto queue = [&] { return main->lblQueueSize; };
    const auto phase = [&] { return message->lblMessage; };
    const auto progress = [&] { return laptop->lblProgress; };
    const std::vector<Caption> captions = {
        {"lblLaunchTime", launch, u"Waiting for 28/12/2026 23:59:59"_s},
        {"lblLaunchTime", launch, u"Rebuild began at 28/12/2026 23:59:59"_s},
        {"lblQueueSize", queue, u"Information to rebuild is missing. Rebuild not performed."_s},
        {"lblQueueSize", queue, u"No rebuild has been scheduled."_s},
        {"lblQueueSize", queue, u"This workstation is not set up for Kestrane."_s},
        {"lblQueueSize", queue, u"This workstation does not have access to Kestrane."_s},
        {"lblQueueSize", queue, u"There are no disqualifications in the rebuild queue."_s},
        {"lblQueueSize", queue, u"There are 2147483647 item(s) in the queue."_s},
        {"lblProcessCount", [&] { return main->lblProcessCount; }, u"Total of 2147483647 processed."_s},
        {"lblMessage", phase, u"Removing disqualifications..."_s},
        {"lblMessage", phase, u"Updating Blacklist based on Case drug offenses..."_s},
        {"lblMessage", phase, u"Updating Blacklist based on Case sex offenses..."_s},
        {"lblMessage", phase, u"Updating Blacklist based on Case theft offenses..."_s},
        {"lblMessage", phase, u"Updating Blacklist based on Case violent offenses..."_s},
        {"lblMessage", phase, u"Updating Blacklist based on Criminal History drug offenses..."_s},
        {"lblMessage", phase, u"Updating Blacklist based on Criminal History sex offenses..."_s},
        {"lblMessage", phase, u"Updating Blacklist based on Criminal History theft offenses..."_s},
        {"lblMessage", phase, u"Updating Blacklist based on Criminal History violent offenses..."_s},
        {"lblMessage", phase, u"Updating Case entries..."_s},
        {"lblMessage", phase, u"Updating Criminal History entries..."_s},
        {"stsBar", [&] { return message->stsBar; }, u"Processed 2147483647 entries"_s},
        {"Label3", [&] { return dialog->Label3; }, u"WARNING:"_s},
        {"Label4", [&] { return dialog->Label4; },
         u"This is part of the Setup procedure for your computer. Please contact your System Administrator "
         u"on "
         u"instructions to procede or click Cancel to quit for now."_s},
        {"Label5", [&] { return dialog->Label5; }, u"Select Drive:"_s},
        {"Label6", [&] { return dialog->Label6; }, u"Select Folder:"_s},
        {"Label1", [&] { return dialog->Label1; },
         u"The database file name will appear below when you have selected a folder in which it exists."_s},
        {"Label1", [&] { return dialog->Label1; },
         u"The KS_users.mdb file name will appear below when you have selected a directory in which it exists."_s},
        {"Label2", [&] { return dialog->Label2; }, u"Data Path:"_s},
        {"cmdOK", [&] { return dialog->cmdOK; }, u"&OK"_s},
        {"cmdCancel", [&] { return dialog->cmdCancel; }, u"Cancel"_s},
        {"cmdLocate", [&] { return dialog->cmdLocate; }, u"&Locate"_s},
        {"cmdCDInstall", [&] { return dialog->cmdCDInstall; }, u"&CD Install"_s},
        {"Frame1(0)", [&] { return laptop->Frame1[0]; }, u"Remote Data Directories "_s},
        {"Frame1(1)", [&] { return laptop->Frame1[1]; }, u"Local Data Directories "_s},
        {"lblPrompts(0)", [&] { return laptop->lblPrompts[0]; }, u"KS Data Directory"_s},
        {"lblPrompts(1)", [&] { return laptop->lblPrompts[1]; }, u"KS Data Directory"_s},
        {"Label1", [&] { return laptop->Label1; }, u"Select Directory:"_s},
        {"optRemote", [&] { return laptop->optRemote; }, u"Remote"_s},
        {"optLocal", [&] { return laptop->optLocal; }, u"Local"_s},
        {"chkCopy", [&] { return laptop->chkCopy; }, u"Refresh Local from Remote"_s},
        {"lblProgress", progress, u"Copying Main Data Base..."_s},
        {"lblProgress", progress, u"Copying Users Data Base..."_s},
        {"lblProgress", progress, u"Copying Select and Sort Data Base..."_s},
        {"lblProgress", progress, u"Refresh Complete"_s},
        {"cmdOK", [&] { return laptop->cmdOK; }, u"&OK"_s},
    };
    for (const Caption& caption : captions) {
        SCOPED_TRACE(std::string(caption.control) + ": \"" + caption.text.toStdString() + '"');
        QWidget* control = caption.find();
        EXPECT_EQ(QFontInfo(control->font()).family(), control->font().family())
            << "the font is not installed";
        EXPECT_EQ(Misfit(control, caption.text), "");
    }

    laptop->Unload();
    for (platform::FormRefBase* reference : std::initializer_list<platform::FormRefBase*>{
             &app::gfrmProcessDisqualificationsQueue, &app::gfrmMessage, &setup::gGetDataPath})
        reference->Reset();
    platform::Screen::DoEvents();
}

}  // namespace
