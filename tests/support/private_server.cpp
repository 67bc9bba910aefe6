// A PostgreSQL server of a test's own.
#include "support/private_server.h"

#include "ado/connection.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QVersionNumber>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <stdexcept>

namespace testsupport {

namespace {

// The newest installed server's programs, as ./build.sh finds them.
QString ServerBinaries() {
    QVersionNumber newest;
    for (const QString& version : QDir(QStringLiteral("/usr/lib/postgresql")).entryList(QDir::Dirs)) {
        if (QFile::exists(QStringLiteral("/usr/lib/postgresql/%1/bin/pg_ctl").arg(version)))
            newest = std::max(newest, QVersionNumber::fromString(version));
    }
    if (newest.isNull())
        throw std::runtime_error("no PostgreSQL server in /usr/lib/postgresql/*/bin");
    return QStringLiteral("/usr/lib/postgresql/%1/bin").arg(newest.toString());
}

QString UserName() {
    const passwd* entry = getpwuid(geteuid());
    return entry ? QString::fromLocal8Bit(entry->pw_name) : qEnvironmentVariable("USER");
}

}  // namespace

PrivateServer::PrivateServer() : dir_(QStringLiteral("/tmp/kestrane-own-pg.XXXXXX")), bin_(ServerBinaries()) {
    static std::atomic<int> counter{0};
    port_ = 55000 + static_cast<int>((QCoreApplication::applicationPid() * 16 + counter++) % 4000);
    if (!dir_.isValid())
        throw std::runtime_error("cannot make a folder for the server");
    // The server refuses to run as root: the postgres user owns the cluster then.
    if (geteuid() == 0) {
        const passwd* owner = getpwnam("postgres");
        if (owner == nullptr ||
            chown(QFile::encodeName(dir_.path()).constData(), owner->pw_uid, owner->pw_gid) != 0)
            throw std::runtime_error("cannot give the server's folder to the postgres user");
    }
    chmod(QFile::encodeName(dir_.path()).constData(), 0755);
    RunAsOwner(QStringLiteral("initdb"),
               {QStringLiteral("--no-sync"), QStringLiteral("-A"), QStringLiteral("trust"),
                QStringLiteral("-U"), UserName(), QStringLiteral("-D"), Data()});
    QFile conf(Data() + QStringLiteral("/postgresql.conf"));
    if (!conf.open(QIODevice::Append | QIODevice::Text))
        throw std::runtime_error("cannot write the server's settings");
    conf.write(
        QStringLiteral("listen_addresses = ''\nunix_socket_directories = '%1'\nport = %2\nfsync = off\n")
            .arg(dir_.path())
            .arg(port_)
            .toUtf8());
    conf.close();
    Start();
}

PrivateServer::~PrivateServer() {
    try {
        if (running_)
            StopImmediately();
    } catch (const std::runtime_error&) {
        // Nothing more can be done; the folder goes anyway.
    }
}

void PrivateServer::Start() {
    RunAsOwner(
        QStringLiteral("pg_ctl"),
        {QStringLiteral("-D"), Data(), QStringLiteral("-l"), dir_.filePath(QStringLiteral("server.log")),
         QStringLiteral("-w"), QStringLiteral("-t"), QStringLiteral("60"), QStringLiteral("start")});
    running_ = true;
}

void PrivateServer::StopWith(const QString& mode) {
    RunAsOwner(QStringLiteral("pg_ctl"),
               {QStringLiteral("-D"), Data(), QStringLiteral("-w"), QStringLiteral("-t"),
                QStringLiteral("60"), QStringLiteral("-m"), mode, QStringLiteral("stop")});
    running_ = false;
}

QString PrivateServer::NewDatabase(const QString& catalog) {
    const QString connectionString = QStringLiteral(
        "Provider=SQLOLEDB.1;Integrated Security=SSPI;Data Source=%1;Persist Security Info=False;"
        "Initial Catalog=%2;");
    ado::Connection server;
    server.Open(connectionString.arg(DataSource(), QStringLiteral("postgres")));
    server.Execute(QStringLiteral("CREATE DATABASE \"%1\"").arg(catalog));
    server.Close();
    return connectionString.arg(DataSource(), catalog);
}

QString PrivateServer::DataSource() const {
    return dir_.path() + u',' + QString::number(port_);
}

void PrivateServer::RunAsOwner(const QString& program, const QStringList& arguments) const {
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    QStringList command = QStringList{bin_ + u'/' + program} + arguments;
    if (geteuid() == 0)
        command = QStringList{QStringLiteral("runuser"), QStringLiteral("-u"), QStringLiteral("postgres"),
                              QStringLiteral("--")} +
                  command;
    process.start(command.takeFirst(), command);
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0)
        throw std::runtime_error((program + QStringLiteral(" failed: ") + process.readAll()).toStdString());
}

}  // namespace testsupport
