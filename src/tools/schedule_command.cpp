// kestrane-admin schedule: schedules the next rebuild in the parameters row (who asked, and from when it may
// begin), or clears the schedule.
#include "ado/connection.h"
#include "ado/recordset.h"
#include "platform/clock.h"
#include "tools/command.h"
#include "tools/command_line.h"
#include "tools/data_location.h"
#include "tools/parameters_row.h"

#include <QTextStream>

namespace tools {

namespace {

const QString kDateFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");

// The schedule the command line asks for: a requester and a time, or Null in both fields for --clear.
struct Schedule {
    ado::Variant requestedBy = ado::Variant::Null();
    ado::Variant rebuildTime = ado::Variant::Null();
};

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

    Schedule schedule;
    schedule.requestedBy =
        ado::Variant(ParseNumber(parser.value(QStringLiteral("user")), QStringLiteral("--user")));
    QDateTime time;
    if (at) {
        time = QDateTime::fromString(parser.value(QStringLiteral("at")), kDateFormat);
        if (!time.isValid()) {
            throw UsageError(QStringLiteral("--at must read YYYY-MM-DD HH:MM:SS: ") +
                             parser.value(QStringLiteral("at")));
        }
    } else {
        time =
            platform::Now().addSecs(ParseNumber(parser.value(QStringLiteral("in")), QStringLiteral("--in")));
    }
    schedule.rebuildTime = ado::Variant(time);
    return schedule;
}

int RunSchedule(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.addOptions({
        {QStringLiteral("user"), QStringLiteral("The ID of the user who asks for the rebuild."),
         QStringLiteral("ID")},
        {QStringLiteral("at"), QStringLiteral("The earliest start, local time."),
         QStringLiteral("YYYY-MM-DD HH:MM:SS")},
        {QStringLiteral("in"), QStringLiteral("The earliest start, SECONDS from now."),
         QStringLiteral("SECONDS")},
        {QStringLiteral("clear"), QStringLiteral("Remove the schedule.")},
    });
    AddLocationOptions(parser, true);
    ParseArguments(parser, arguments, 0);
    const Schedule schedule = RequestedSchedule(parser);
    const DataLocation location = ResolveDataLocation(LocationOverridesOf(parser));

    ado::Connection connection;
    connection.Open(location.MainConnectionString());
    std::unique_ptr<ado::Recordset> parameters = OpenParametersRow(connection);
    parameters->Fields(QStringLiteral("Next_Rebuild_Requested_By")) = schedule.requestedBy;
    parameters->Fields(QStringLiteral("Next_Disqualifications_Rebuild")) = schedule.rebuildTime;
    parameters->Update();

    QTextStream out(stdout);
    if (schedule.requestedBy.IsNull()) {
        out << "No rebuild is scheduled." << Qt::endl;
    } else {
        out << "Rebuild scheduled by user " << schedule.requestedBy.ToLong() << " from "
            << schedule.rebuildTime.ToDate().toString(kDateFormat) << Qt::endl;
    }
    return 0;
}

}  // namespace

const Command kScheduleCommand{
    QStringLiteral("schedule"),
    QStringLiteral("(--user ID (--at \"YYYY-MM-DD HH:MM:SS\" | --in SECONDS) | --clear) "
                   "[--data-path DIR | --server SOURCE [--catalog NAME]]"),
    QStringLiteral("Schedule the next rebuild for a user and a time, or clear the schedule."), RunSchedule};

}  // namespace tools
