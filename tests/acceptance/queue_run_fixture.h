#pragma once
// What the whole runs start from: a folder of the test's own holding the settings and the product's
// databases, made with kestrane-admin on the embedded files or on the server; the program run on them; the
// rows they check.

#include "support/child_process.h"
#include "support/databases.h"

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <set>
#include <string>
#include <utility>
#include <vector>

// gtest shows a text as text.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

namespace acceptance {

using Pairs = std::set<std::pair<int32_t, int32_t>>;        // (client, agency)
using Requests = std::vector<std::pair<QString, int32_t>>;  // (Table_Name, Table_ID)
using testsupport::ChildResult;
using testsupport::Engine;

inline const QString kProgram = QStringLiteral("KSProcessDisqualificationsQueue");
inline const QString kWorkstation = QStringLiteral("WS-QUEUE-01");

// The size of a generated sample; the same seed gives the same rows.
struct SampleOptions {
    int clients = 0;
    int agencies = 0;
    int seed = 0;
};

// "Jet" or "Server": the suffix of each engine's tests.
inline std::string EngineName(const ::testing::TestParamInfo<Engine>& info) {
    return info.param == Engine::Jet ? "Jet" : "Server";
}

class RunFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Makes temp_/name (temp_ itself when name is empty) current: its settings in config/, its data in data/,
    // the children run on clock (KESTRANE_VIRTUAL_CLOCK; "" is the real clock) in the C locale.
    void UseFolder(const QString& name, const QString& clock = QStringLiteral("now"));
    // kestrane-admin init and configure on the current folder (on server_ for the server), naming
    // workstation.
    void Init(const QString& workstation = kWorkstation);
    // A new data set in the folder name, made current: Init (on the server, the catalog made anew on server,
    // or on the shared test server when server is empty), a user (user_), this workstation, the sample.
    void MakeDataSet(const QString& name, const SampleOptions& sample, const QString& server = {});
    // kestrane-admin on the current data set; its standard output. A status other than 0 fails the test.
    QString Admin(const QStringList& arguments);
    // The program on the current data set, to its end.
    ChildResult Run(const QStringList& arguments = {}, const testsupport::ChildLimits& limits = {});
    // Queues the requests, one second apart in their order, and schedules a rebuild due now by user_.
    void Enqueue(const Requests& requests);
    void QueueAgencies(int first, int last);  // Enqueue of these agencies

    QString MainString() const;
    QString UsersString() const;
    void Execute(const QString& sql);  // on the main database
    // The rows of sql on the database of connectionString (by default the main one), each as its fields
    // joined by ", ".
    QStringList Rows(const QString& sql, const QStringList& fields,
                     const QString& connectionString = {}) const;
    Pairs PairsOf(
        const QString& sql) const;  // (Client_ID, Agency_ID) of the rows of sql on the main database
    // What rebuilding every agency leaves as automatic entries: the pairs of ruleSql less the manual ones.
    Pairs Expected(const QString& ruleSql) const;
    QStringList DuplicatePairs() const;  // client and agency of the pairs with more than one Blacklist row
    // What runs are compared on: each Blacklist row as client, agency, manual (IDs and dates differ from run
    // to run), then the queue and the schedule.
    QStringList Outcome() const;

    Engine engine_ = Engine::Jet;
    QTemporaryDir temp_;
    QProcessEnvironment environment_;  // of the children
    QString config_;                   // the settings folder (XDG_CONFIG_HOME) of the current data set
    QString dataPath_;                 // its data folder, with a trailing "/"
    QString user_;                     // the ID of its user
    QString server_;                   // its server's Data Source (on the server)
};

// A run test on each engine; skipped on the server when no test server runs.
class QueueRunFixture : public RunFixture, public ::testing::WithParamInterface<Engine> {
protected:
    void SetUp() override;
};

}  // namespace acceptance
