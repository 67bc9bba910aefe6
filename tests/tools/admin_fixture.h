#pragma once
// kestrane-admin run as an administrator runs it, in a temporary folder that also holds its settings, on a
// virtual clock that stands at 2030-01-01 08:00:00.

#include "support/child_process.h"
#include "support/databases.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace admintest {

using testsupport::ChildResult;
using testsupport::Engine;

// A folder of its own holding the data and the settings, and kestrane-admin run on them.
class Workstation {
public:
    Workstation();

    ChildResult Admin(const QStringList& arguments) const;
    // Runs a command that must succeed and returns its standard output.
    QString AdminOk(const QStringList& arguments) const;

    // Sets the workstation up on engine as the README sets one up: the files (and a catalog of its own on the
    // server, Catalog()), the settings with workstation WS-01, user 1 "planner", workstation 1 "WS-01",
    // agency 1, client 2, one manual blacklist entry, requests for agency 1 and client 2, and a rebuild asked
    // for by user 1 from 2030-01-01 09:00:00.
    void SetUpWorkstation(Engine engine);
    // {"--catalog", name} after SetUpWorkstation on the server, {} otherwise.
    QStringList Catalog() const;
    // The connection strings of the workstation's main and users databases.
    QString MainString() const;
    QString UsersString() const;
    static void Execute(const QString& connectionString, const QString& sql);
    // Every row of the tables the commands write, and the settings files, as text to compare.
    QStringList Snapshot() const;

    QTemporaryDir temp_;
    QString configHome_;
    QString dataPath_;  // ends with "/"
    QProcessEnvironment environment_;
    QString catalog_;  // on the server only
};

// A test with a workstation of its own; the test process reads the settings where the commands write them.
class AdminTest : public ::testing::Test, protected Workstation {
protected:
    void SetUp() override;
    void TearDown() override;

private:
    QByteArray savedConfigHome_;
};

// A test on a workstation set up with SetUpWorkstation, once on each engine.
class AdminEngineTest : public AdminTest, public ::testing::WithParamInterface<Engine> {
protected:
    void SetUp() override;
};

}  // namespace admintest
