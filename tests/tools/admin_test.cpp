// kestrane-admin, run as a user runs it: the files, rows and settings each command leaves behind, and the
// laptop window at a terminal.
#include "admin_fixture.h"

#include "platform/settings.h"

#include <QFileInfo>
#include <QRegularExpression>

#include <fcntl.h>
#include <unistd.h>

namespace {

using namespace admintest;

// Catches a setting under the wrong key, a password not asked for at a terminal, and a file others can read.
TEST_F(AdminTest, ConfigureWritesTheSettingsTheProgramReads) {
    const QString settings = configHome_ + u"/Kestrane/KS.ini"_s;
    const QString passwordFile = WriteFile(u"password"_s, "s3cret=,\"x\"\nsecond line\n");
    const QFileDevice::Permissions ownerOnly =
        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadUser | QFileDevice::WriteUser;
    const QString data = u"|"_s + Path(u"data"_s), path = u"KS Data Path="_s + dataPath_;
    // The arguments ("|" between them), what is typed at a terminal (nullptr: no terminal), and settings of
    // KS's "Data" section afterwards.
    // clang-format off
    const std::tuple<QString, const char*, QStringList> cases[] = {
        {u"--data-path"_s + data, nullptr, {u"Datasource Type=Access"_s, path, u"Server Name=<missing>"_s}},
        {u"--data-path"_s + data + u"|--server|db1,5433"_s, nullptr, {u"Datasource Type=SQL Server"_s, path,
         u"Server Name=db1,5433"_s, u"Trusted Connection=Yes"_s, u"Server User ID=<missing>"_s}},
        {u"--server|db1|--login|ks_app|--password-file|"_s + passwordFile, nullptr, {u"Datasource Type=SQL Server"_s,
         u"Trusted Connection=No"_s, u"Server User ID=ks_app"_s, u"Server Password=s3cret=,\"x\""_s,
         u"KS Data Path=<missing>"_s}},
        // Without a terminal and without a file no password is stored: libpq's own files give it.
        {u"--server|db1|--login|ks_app"_s, nullptr, {u"Trusted Connection=No"_s, u"Server Password="_s}},
        {u"--data-path"_s + data + u"|--datasource-type|SQL Server"_s, nullptr, {u"Datasource Type=SQL Server"_s}},
        {u"--workstation|O'Brien's PC"_s, nullptr, {u"Datasource Type=<missing>"_s}},
        {u"--server|db1|--login|ks_app"_s, "s3cret\n", {u"Trusted Connection=No"_s, u"Server Password=s3cret"_s}},
    };
    // clang-format on
    for (const auto& [line, typed, expected] : cases) {
        SCOPED_TRACE(line.toStdString());
        QFile::remove(settings);
        const ChildResult result = Admin(QStringList{u"configure"_s} + line.split(u'|'), {}, typed);
        EXPECT_EQ(result.exitCode, 0) << result.out.toStdString() << result.err.toStdString();
        EXPECT_EQ(result.out.contains(u"Password of ks_app"_s), typed != nullptr) << result.out.toStdString();
        // A file that holds a password is its owner's only.
        EXPECT_TRUE(!expected.join(u' ').contains(u"Server Password=s3cret"_s) ||
                    QFileInfo(settings).permissions() == ownerOnly);
        for (const QString& setting : expected) {
            const QString key = setting.section(u'=', 0, 0), value = setting.section(u'=', 1);
            EXPECT_EQ(platform::GetSetting(u"KS"_s, u"Data"_s, key, u"<missing>"_s), value)
                << key.toStdString();
        }
    }
    EXPECT_EQ(platform::GetSetting(u"Halvermoor Software"_s, u"Settings"_s, u"Workstation Name"_s),
              u"O'Brien's PC"_s);

    // A file someone opened up is closed again, and the administrator is told.
    ASSERT_TRUE(QFile::setPermissions(settings, QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                    QFileDevice::ReadGroup | QFileDevice::ReadOther));
    const ChildResult result = Admin({u"configure"_s, u"--workstation"_s, u"WS-01"_s});
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_TRUE(result.err.contains(u"other users could read it"_s)) << result.err.toStdString();
    EXPECT_EQ(QFileInfo(settings).permissions(), ownerOnly);
}

// Catches init writing over a file or leaving out a table, a wrong new ID, and a schedule stored wrongly or
// not at all when the parameters row is missing.
TEST_F(AdminTest, SetsUpAWorkstationStepByStep) {
    EXPECT_TRUE(QRegularExpression(u"^kestrane-admin \\d+\\.\\d+\\.\\d+\n$"_s)
                    .match(AdminOk({u"--version"_s}))
                    .hasMatch());
    // Before configure there is no data folder to add to.
    const ChildResult unconfigured = Admin({u"add-user"_s, u"planner"_s});
    EXPECT_EQ(unconfigured.exitCode, 78);
    EXPECT_TRUE(unconfigured.err.contains(u"configure"_s)) << unconfigured.err.toStdString();
    QDir().mkpath(dataPath_);
    const QString lists = WriteFile(u"data/KS_lists.mdb"_s, {});
    const ChildResult over = Admin({u"init"_s, u"--data-path"_s, dataPath_});
    EXPECT_EQ(over.exitCode, 65);
    EXPECT_TRUE(over.err.contains(u"already exists"_s)) << over.err.toStdString();
    EXPECT_EQ(QDir(dataPath_).entryList(QDir::Files), QStringList{u"KS_lists.mdb"_s});
    QFile::remove(lists);
    AdminOk({u"init"_s, u"--data-path"_s, dataPath_});
    for (const QString& file : {u"KS.mdb"_s, u"KS_users.mdb"_s, u"KS_lists.mdb"_s, u"KS_sands.mdb"_s})
        EXPECT_TRUE(
            QueryRows(JetString(dataPath_ + file), u"SELECT * FROM [Application Workstation List]"_s, {})
                .empty());
    AdminOk({u"configure"_s, u"--data-path"_s, dataPath_});

    // Without --data-path the users file is found through the settings.
    EXPECT_EQ(AdminOk({u"add-user"_s, u"planner"_s}), u"1\n"_s);
    EXPECT_EQ(AdminOk({u"add-user"_s, u"O'Neil"_s}), u"2\n"_s);
    EXPECT_EQ(AdminOk({u"add-workstation"_s, u"WS-01"_s}), u"1\n"_s);
    EXPECT_EQ(AdminOk({u"add-workstation"_s, u"WS-02"_s, u"--inactive"_s}), u"2\n"_s);
    EXPECT_EQ(AdminOk({u"add-user"_s, u"planner"_s, u"--allow-duplicate"_s}), u"3\n"_s);
    const QString users = UsersString();
    EXPECT_EQ(
        QueryRows(users, u"SELECT * FROM [Application User List] ORDER BY ID"_s, {u"ID"_s, u"User Name"_s}),
        (Rows{{u"1"_s, u"planner"_s}, {u"2"_s, u"O'Neil"_s}, {u"3"_s, u"planner"_s}}));
    // The program's admission query finds the active workstation only.
    EXPECT_EQ(QueryRows(users, u"SELECT * FROM [Application Workstation List] WHERE Active = TRUE"_s,
                        {u"ID"_s, u"Workstation Name"_s}),
              (Rows{{u"1"_s, u"WS-01"_s}}));
    EXPECT_EQ(QueryRows(users, u"SELECT * FROM [Application Workstation List] ORDER BY ID"_s,
                        {u"Workstation Name"_s}),
              (Rows{{u"WS-01"_s}, {u"WS-02"_s}}));

    // The schedule's arguments, and the parameters row with ID 1 afterwards as show prints it.
    const std::pair<QStringList, QString> cases[] = {
        {{}, u","_s},
        // ISO 8601 with "T" and without seconds, as a script writes it.
        {{u"--user"_s, u"1"_s, u"--at"_s, u"2030-02-03T04:05"_s}, u"1,2030-02-03T04:05:00"_s},
        // From the clock the command runs on (the virtual clock stands at 2030-01-01 08:00:00).
        {{u"--user"_s, u"1"_s, u"--in"_s, u"90"_s}, u"1,2030-01-01T08:01:30"_s},
        {{u"--clear"_s}, u","_s},
        {{u"DELETE"_s, u"--user"_s, u"1"_s, u"--at"_s, u"2030-05-06 07:08:09"_s}, u"1,2030-05-06T07:08:09"_s},
    };
    for (const auto& [given, row] : cases) {
        SCOPED_TRACE(given.join(u' ').toStdString());
        QStringList arguments = given;
        if (arguments.removeAll(u"DELETE"_s) > 0)  // the row is missing
            Execute(MainString(), u"DELETE FROM [Parameters]"_s);
        if (!arguments.isEmpty())
            AdminOk(QStringList{u"schedule"_s, u"--data-path"_s, dataPath_} + arguments);
        EXPECT_EQ(AdminOk({u"show"_s, u"schedule"_s, u"--format"_s, u"csv"_s, u"--data-path"_s, dataPath_}),
                  u"Next_Rebuild_Requested_By,Next_Disqualifications_Rebuild\r\n"_s + row + u"\r\n"_s);
    }
}

// kestrane-admin laptop: without a terminal it closes the window without OK; at a terminal it asks; then it
// prints where the data now is. (The window's own tests check what it copies.)
TEST_F(AdminTest, LaptopAsksAtATerminalRefreshesAndReports) {
    const QString remote = Path(u"remote"_s) + u'/', local = Path(u"local"_s) + u'/';
    ASSERT_TRUE(QDir().mkpath(remote));
    for (const QString& name : {u"KS.mdb"_s, u"KS_users.mdb"_s, u"KS_lists.mdb"_s, u"KS_sands.mdb"_s})
        WriteFile(u"remote/"_s + name, {});
    platform::SaveSetting(u"KS"_s, u"Data"_s, u"KS Data Path"_s, local);
    platform::SaveSetting(u"KS"_s, u"Data"_s, u"Remote KS Data Path"_s, remote);
    // What is typed (nullptr: no terminal), whether another program holds the remote main file locked; the
    // status, and the last lines (empty when the program ended before reporting).
    // clang-format off
    const std::tuple<const char*, bool, int, QString> cases[] = {
        {nullptr, false, 0, u"Data path: "_s + local + u"\nLocal data used: no\n"_s},
        {"local\nyes\n", false, 0, u"Data path: "_s + local + u"\nLocal data used: yes\n"_s},
        {"r\nn\n", false, 0, u"Data path: "_s + remote + u"\nLocal data used: no\n"_s},
        {"l\ny\ncancel\n", true, 2, QString()},  // the busy file is not copied, then Cancel
    };
    // clang-format on
    for (const auto& [typed, busyMain, status, report] : cases) {
        SCOPED_TRACE(typed ? typed : "no terminal");
        QDir(local).removeRecursively();
        ASSERT_TRUE(QDir().mkpath(local));
        const int lock = busyMain ? ::open(QFile::encodeName(remote + u"KS.mdb"_s).constData(), O_RDWR) : -1;
        struct flock range {};
        range.l_type = F_WRLCK;
        ASSERT_TRUE(lock < 0 || ::fcntl(lock, F_OFD_SETLK, &range) == 0);
        const ChildResult result = Admin({u"laptop"_s}, {}, typed);
        ::close(lock);

        EXPECT_EQ(result.exitCode, status) << result.out.toStdString() << result.err.toStdString();
        EXPECT_EQ(result.out.contains(u"Select Directory: (Remote, Local, Cancel) [Remote]"_s),
                  typed != nullptr)
            << result.out.toStdString();
        EXPECT_TRUE(report.isEmpty() ? !result.out.contains(u"Data path:"_s) : result.out.endsWith(report))
            << result.out.toStdString();
        EXPECT_EQ(result.out.contains(u"File cannot be copied because it is in use."_s), busyMain)
            << result.out.toStdString();
    }
}

}  // namespace
