// kestrane-admin schedule: schedules the next rebuild in the parameters row (who asked, and from when it may
// begin), or clears the schedule.
#include "ado/recordset.h"
#include "platform/clock.h"
#include "tools/command.h"
#include "tools/command_line.h"
#include "tools/data_location.h"
#include "tools/parameters_row.h"

#include <QTextStream>

namespace tools {

namespace {

// The schedule the command line asks for: a requester and a time, or Null in both fields for --clear.
struct Schedule {
    ado::Variant requestedBy = ado::Variant::Null();
    ado::Variant rebuildTime = ado::Variant::Null();
};

// --at: ISO 8601 with "T" or a blank between date and time, seconds optional; a time with a zone is turned
// into local time.
QDateTime ParseRebuildTime(const QString& text) {
    const QDateTime time = QDateTime::fromString(text, Qt::ISODate);
    if (!time.isValid()) {
        throw UsageError(QStringLiteral("--at must read YYYY-MM-DD HH:MM[:SS] (or with T), not \"") + text +
                         QStringLiteral("\"."));
    }
    return time.timeSpec() == Qt::LocalTime ? time : time.toLocalTime();
}

Schedule RequestedSchedule(const QCommandLineParser& parser) {
    const bool clear = parser.isSet(QStringLiteral("clear"));
    const bool at = parser.isSet(QStringLiteral("at"));
    const bool in = parser.isSet(QStringLiteral("in"));
    const bool user = parser.isSet(QStringLiteral("user"));
    if (clear) {
        if (at || in || user)
            throw UsageError(QStringLiteral("--clear takes no other option."));
        return {};
    }
    if (!user || at == in)
        throw UsageError(QStringLiteral("Give --user and one of --at or --in, or --clear."));
    if (parser.value(QStringLiteral("user")) == QStringLiteral("0")) {
        throw UsageError(
            QStringLiteral("User 0 means that nothing is scheduled: give --clear to remove the schedule."));
    }

    Schedule schedule;
    schedule.requestedBy =
        ado::Variant(ParseCount(parser.value(QStringLiteral("user")), QStringLiteral("--user")));
    schedule.rebuildTime =
        ado::Variant(at ? ParseRebuildTime(parser.value(QStringLiteral("at")))
                        : platform::Now().addSecs(
                              ParseNumber(parser.value(QStringLiteral("in")), QStringLiteral("--in"), 0)));
    return schedule;
}

int RunSchedule(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.addOptions({
        {QStringLiteral("user"), QStringLiteral("The ID of the user who asks for the rebuild."),
         QStringLiteral("ID")},
        {QStringLiteral("at"), QStringLiteral("The earliest start, local time (ISO 8601, T or a blank)."),
         QStringLiteral("YYYY-MM-DD[T]HH:MM[:SS]")},
        {QStringLiteral("in"), QStringLiteral("The earliest start, SECONDS from now."),
         QStringLiteral("SECONDS")},
        {QStringLiteral("clear"), QStringLiteral("Remove the schedule.")},
    });
    AddLocationOptions(parser, true);
    AddLockWaitOption(parser);
    ParseArguments(parser, arguments, 0);
    const Schedule schedule = RequestedSchedule(parser);
    const DataLocation location = ResolveDataLocation(LocationOverridesOf(parser));

    if (!schedule.requestedBy.IsNull()) {
        // The processor looks the requester up in the users file and logs the run under that user.
        Database users = location.UsersDatabase();
        users.Open();
        const int32_t user = schedule.requestedBy.ToLong();
        if (!users.HasRow(QStringLiteral("look the user up in"),
                          QStringLiteral("SELECT ID FROM [Application User List] WHERE ID = ") +
                              QString::number(user))) {
            throw CommandFailed(
                kExitRefused,
                QStringLiteral("There is no user %1 in [Application User List] of %2; nothing was "
                               "scheduled. \"kestrane-admin add-user NAME\" adds one.")
                    .arg(user)
                    .arg(users.Place()));
        }
    }
    Database main = location.MainDatabase();
    main.Open();
    main.Write(QStringLiteral("write the schedule to"), LockWaitOf(parser), [&] {
        std::unique_ptr<ado::Recordset> parameters = OpenParametersRow(main.Connection());
        parameters->Fields(QStringLiteral("Next_Rebuild_Requested_By")) = schedule.requestedBy;
        parameters->Fields(QStringLiteral("Next_Disqualifications_Rebuild")) = schedule.rebuildTime;
        parameters->Update();
    });
    main.Close();

    QTextStream out(stdout);
    if (schedule.requestedBy.IsNull()) {
        out << "No rebuild is scheduled." << Qt::endl;
    } else {
        out << "Rebuild scheduled by user " << schedule.requestedBy.ToLong() << " from "
            << schedule.rebuildTime.ToDate().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) << Qt::endl;
    }
    return kExitOk;
}

}  // namespace

const Command kScheduleCommand{
    QStringLiteral("schedule"),
    QStringLiteral(
        "(--user ID (--at \"YYYY-MM-DD HH:MM[:SS]\" | --in SECONDS) | --clear) [--lock-wait SECONDS]\n"
        "      [--data-path DIR | --server SOURCE [--catalog NAME]]"),
    QStringLiteral("Schedule the next rebuild for a user and a time, or clear the schedule."), RunSchedule};

}  // namespace tools
