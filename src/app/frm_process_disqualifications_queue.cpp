// The main window's start-up: the connection settings, the schedule check and the admission check.
#include "app/frm_process_disqualifications_queue.h"

#include "ado/connection.h"
#include "ado/recordset.h"
#include "app/run_outcome.h"
#include "data/connect_database.h"
#include "data/connection_settings.h"
#include "data/current_ids.h"
#include "data/generic_ado.h"
#include "platform/application.h"
#include "platform/clock.h"
#include "platform/settings.h"
#include "platform/system_font.h"
#include "platform/window_closing.h"

#include <memory>

namespace app {

namespace {

using platform::TwipsToPixels;

// How long each start-up message stays on the screen before the run goes on.
constexpr int kMessageHoldMs = 5000;

// A status label 5535 x 375 twips at the left margin; its captions are also status lines when headless.
platform::Label* NewStatusLabel(QWidget* parent, int topTwips) {
    auto* label = new platform::Label(parent);
    label->setGeometry(TwipsToPixels(120), TwipsToPixels(topTwips), TwipsToPixels(5535), TwipsToPixels(375));
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setWordWrap(true);
    label->SetMirrored(true);
    return label;
}

// Opens a new connection as start-up does: the ADO call itself, without retry or dialog. Raises ado::Error.
std::unique_ptr<ado::Connection> OpenConnection(const QString& connectionString) {
    auto connection = std::make_unique<ado::Connection>();
    connection->Open(connectionString, QString(), QString(), -1);
    return connection;
}

// Opens a forward-only, read-only recordset on connection. Raises ado::Error.
std::unique_ptr<ado::Recordset> OpenReadOnly(const QString& sql, ado::Connection& connection) {
    auto recordset = std::make_unique<ado::Recordset>();
    recordset->Open(sql, connection, ado::adOpenForwardOnly, ado::adLockReadOnly, -1);
    return recordset;
}

// Shows a start-up message in label and holds it on the screen.
void ShowAndHold(platform::Label& label, const QString& message) {
    label.SetCaption(message);
    platform::Sleep(kMessageHoldMs);
}

}  // namespace

frmProcessDisqualificationsQueue::frmProcessDisqualificationsQueue() {
    SetCaption(QStringLiteral("Process Disqualifications Queue"));
    SetClientSize(7470, 4035);

    lblLaunchTime = NewStatusLabel(this, 120);
    lblLaunchTime->setFont(platform::SystemFont(true));
    lblQueueSize = NewStatusLabel(this, 640);
    lblQueueSize->setFont(platform::SystemFont(true));
    lblProcessCount = NewStatusLabel(this, 3450);
}

void frmProcessDisqualificationsQueue::ConnectDatabase() {
    data::ConnectDatabase(incompleteSetup_);
}

void frmProcessDisqualificationsQueue::Form_Load() {
    ConnectDatabase();
    Form_Activate();
}

void frmProcessDisqualificationsQueue::Form_Activate() {
    if (activated_)
        return;
    activated_ = true;

    SetWindowState(platform::vbNormal);
    show();
    Refresh();

    if (incompleteSetup_) {
        ThisRun().outcome = Outcome::IncompleteSettings;
        lblQueueSize->SetCaption(QStringLiteral("Information to rebuild is missing. Rebuild not performed."));
    } else if (TakeRunGuard()) {
        CheckWorkstationAndSchedule();
        runGuard_.reset();
    }

    platform::Sleep(kMessageHoldMs);
    Unload();
}

bool frmProcessDisqualificationsQueue::TakeRunGuard() {
    runGuard_ = std::make_unique<data::RunGuard>(data::Settings());
    if (runGuard_->Held())
        return true;
    const data::RunHolder holder = *runGuard_->Holder();
    runGuard_.reset();
    ThisRun().outcome = Outcome::AnotherRun;
    const QString refused = QStringLiteral("Another run holds this data. Rebuild not performed.");
    lblQueueSize->SetCaption(refused);
    if (holder.pid == 0) {
        platform::WriteErrorLine(refused + QStringLiteral(" (") + holder.dataSource + u')');
        return false;
    }
    const QString since = QStringLiteral(" since ") + platform::FormatGeneralDate(holder.since);
    const QString process = QStringLiteral("Process ") + QString::number(holder.pid) + QStringLiteral(" on ");
    // The label has room for one line: the host's own name, without its domain.
    lblLaunchTime->SetCaption(process + holder.host.section(u'.', 0, 0) + since);
    platform::WriteErrorLine(QStringLiteral("Another run holds this data (") + holder.dataSource +
                             QStringLiteral("): ") + process.toLower() + holder.host + since +
                             QStringLiteral(". Rebuild not performed."));
    return false;
}

void frmProcessDisqualificationsQueue::CheckWorkstationAndSchedule() {
    const data::ConnectionSettings& settings = data::Settings();

    // The schedule: who asked for a rebuild, and for when.
    bool scheduled = false;
    QDateTime rebuildTime;
    std::unique_ptr<ado::Connection> connection = OpenConnection(settings.mainConnectionString);
    std::unique_ptr<ado::Recordset> parameters =
        OpenReadOnly(QStringLiteral("SELECT * FROM [Parameters] WHERE ID = 1"), *connection);
    if (!parameters->Eof()) {
        const ado::Field& requester = parameters->Fields(QStringLiteral("Next_Rebuild_Requested_By"));
        if (requester.IsNull() || requester.ToLong() == 0) {
            ShowAndHold(*lblQueueSize, QStringLiteral("No rebuild has been scheduled."));
        } else {
            std::unique_ptr<ado::Connection> usersConnection = OpenConnection(settings.usersConnectionString);
            std::unique_ptr<ado::Recordset> user =
                OpenReadOnly(QStringLiteral("SELECT * FROM [Application User List] WHERE ID = ") +
                                 QString::number(requester.ToLong()),
                             *usersConnection);
            if (!user->Eof())
                data::gCurrentUserId = user->Fields(QStringLiteral("ID")).ToLong();
            data::AdoCloseRecordset(user);
            data::AdoCloseConnection(usersConnection);
            scheduled = true;
            rebuildTime = parameters->Fields(QStringLiteral("Next_Disqualifications_Rebuild")).ToDate();
        }
    }
    data::AdoCloseRecordset(parameters);
    data::AdoCloseConnection(connection);

    // The admission: is this a registered, active workstation of the product. The name goes into the
    // statement as it is, and the users database always takes TRUE.
    bool admitted = false;
    const QString workstationName =
        platform::GetSetting(QStringLiteral("Halvermoor Software"), QStringLiteral("Settings"),
                             QStringLiteral("Workstation Name"));
    if (workstationName.isEmpty()) {
        ShowAndHold(*lblQueueSize, QStringLiteral("This workstation is not set up for Kestrane."));
    } else {
        std::unique_ptr<ado::Connection> usersConnection = OpenConnection(settings.usersConnectionString);
        std::unique_ptr<ado::Recordset> workstation = OpenReadOnly(
            QStringLiteral("SELECT * FROM [Application Workstation List] WHERE [Workstation Name] = '") +
                workstationName + QStringLiteral("' AND Active = TRUE"),
            *usersConnection);
        if (workstation->Eof()) {
            ShowAndHold(*lblQueueSize, QStringLiteral("This workstation does not have access to Kestrane."));
        } else {
            data::gCurrentWorkstationId = workstation->Fields(QStringLiteral("ID")).ToLong();
            admitted = true;
        }
        data::AdoCloseRecordset(workstation);
        data::AdoCloseConnection(usersConnection);
    }

    ThisRun().outcome = admitted ? Outcome::NothingScheduled : Outcome::NotAdmitted;
    if (admitted && scheduled) {
        WaitForScheduledRebuild(rebuildTime);
        ProcessQueue();
        ThisRun().outcome = Outcome::QueueProcessed;
    }
}

void frmProcessDisqualificationsQueue::Form_Unload(int& cancel) {
    platform::CloseForm(gfrmProcessDisqualificationsQueue);
}

}  // namespace app
