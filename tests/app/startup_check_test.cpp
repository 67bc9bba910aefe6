// The --check report, line by line, for the settings and data a run can meet: what each line says is what an
// administrator acts on, and the status is what a run would end with.
#include "app/startup_check.h"
#include "ado/connection.h"
#include "platform/settings.h"
#include "support/product_schema.h"
#include "support/program_environment.h"

#include <QFile>

#include <gtest/gtest.h>

using namespace Qt::StringLiterals;

namespace {

struct CheckCase {
    const char* name;
    QString workstation;  // the Workstation Name setting; none at all when empty
    bool settings;        // the data settings written (embedded files in the test folder)
    bool usersFile;       // KS_users.mdb made
    QStringList mainSql;  // run on KS.mdb before the check
    int status;
    QStringList lines;  // "D" stands for the test folder; a line ending in "..." is a prefix
};

TEST(StartupCheck, ReportsWhatARunWouldMeetAndItsStatus) {
    const QString settingsLine =
        u"Settings:     D/config/Kestrane/KS.ini: Datasource Type=Access, KS Data Path=D/, Server Password=(set)"_s;
    const QString opens = u"Main data:    opens: D/KS.mdb"_s;
    const QString usersOpen = u"Users data:   opens: D/KS_users.mdb"_s;
    const QString noneHolds = u"Another run:  none holds this data"_s;
    const CheckCase cases[] = {
        // The server's keys are missing only when a server is named.
        {"NoSettings",
         {},
         false,
         false,
         {},
         78,
         {u"Settings:     D/config/Kestrane/KS.ini: missing"_s,
          u"Workstation:  D/config/Kestrane/Halvermoor Software.ini: missing"_s,
          u"A run would end with status 78: the settings are incomplete (missing: Datasource Type, KS Data "
          u"Path)."_s}},
        {"UsersFileMissing",
         u"WS-1"_s,
         true,
         false,
         {},
         1,
         {settingsLine, u"Workstation:  D/config/Kestrane/Halvermoor Software.ini: Workstation Name=WS-1"_s,
          opens, u"Users data:   FAILS: D/KS_users.mdb: ..."_s, noneHolds,
          u"A run would end with status 1: a run would end with a run-time error."_s}},
        // A statement that fails is reported, and a run would fail on it too.
        {"NoParametersRowAndANameThatBreaksTheQuery",
         u"O'Brien's PC"_s,
         true,
         true,
         {},
         1,
         {settingsLine,
          u"Workstation:  D/config/Kestrane/Halvermoor Software.ini: Workstation Name=O'Brien's PC"_s, opens,
          usersOpen, noneHolds, u"Schedule:     [Parameters] has no row 1: nothing is scheduled"_s,
          u"Error:        ..."_s,
          u"A run would end with status 1: a run would end with a run-time error."_s}},
        {"AdmittedNothingScheduledAgencyMissing",
         u"WS-1"_s,
         true,
         true,
         {u"INSERT INTO [Parameters] (ID) VALUES (1)"_s,
          u"INSERT INTO Disqualifications_Queue (Table_Name, Table_ID) VALUES ('Agencies', 999)"_s},
         0,
         {settingsLine, u"Workstation:  D/config/Kestrane/Halvermoor Software.ini: Workstation Name=WS-1"_s,
          opens, usersOpen, noneHolds, u"Schedule:     no rebuild has been scheduled"_s,
          u"Admission:    WS-1 is registered and active (ID 1)"_s,
          u"Queue:        1 request(s), 1 of them for an agency that does not exist (a run leaves them queued)"_s,
          u"A run would end with status 0: no rebuild has been scheduled."_s}},
    };
    for (const CheckCase& c : cases) {
        SCOPED_TRACE(c.name);
        testsupport::ProgramEnvironment env;
        const QString dir = env.Dir();
        if (!c.workstation.isEmpty())
            platform::SaveSetting(u"Halvermoor Software"_s, u"Settings"_s, u"Workstation Name"_s,
                                  c.workstation);
        if (c.settings) {
            platform::SaveSetting(u"KS"_s, u"Data"_s, u"Datasource Type"_s, u"Access"_s);
            platform::SaveSetting(u"KS"_s, u"Data"_s, u"KS Data Path"_s, dir + u'/');
            platform::SaveSetting(u"KS"_s, u"Data"_s, u"Server Password"_s, u"secret"_s);
            ado::Connection main;
            main.Open(testsupport::NewProductDatabase(testsupport::Engine::Jet, dir, u"KS.mdb"_s));
            for (const QString& sql : c.mainSql)
                main.Execute(sql);
        }
        if (c.usersFile) {
            ado::Connection users;
            users.Open(testsupport::NewProductDatabase(testsupport::Engine::Jet, dir, u"KS_users.mdb"_s));
            users.Execute(
                u"INSERT INTO [Application Workstation List] ([Workstation Name]) VALUES ('WS-1')"_s);
        }

        QString report;
        QTextStream out(&report);
        EXPECT_EQ(app::CheckStartup(out), c.status) << report.toStdString();

        QStringList lines = report.split(u'\n', Qt::SkipEmptyParts);
        QStringList expected;
        for (qsizetype i = 0; i < c.lines.size(); ++i) {
            QString line = c.lines[i];
            line.replace(u"D/"_s, dir + u'/');
            if (line.endsWith(u"..."_s) && i < lines.size() && lines[i].startsWith(line.chopped(3)))
                line = lines[i];
            expected << line;
        }
        EXPECT_EQ(lines, expected);
    }
}

}  // namespace
