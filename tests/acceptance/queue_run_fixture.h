#pragma once
// What the acceptance tests of whole queue runs start from, on the embedded files and on the server: the
// product's databases made with kestrane-admin (a user, this workstation, a generated sample), and the reads
// of the rows those tests check.

#include "support/databases.h"

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace acceptance {

using Pairs = std::set<std::pair<int32_t, int32_t>>;  // (client, agency)

inline const QString kProgram = QStringLiteral("KSProcessDisqualificationsQueue");
inline const QString kWorkstation = QStringLiteral("WS-QUEUE-01");

// The size of a generated sample; the same seed gives the same rows.
struct SampleOptions {
    int clients = 0;
    int agencies = 0;
    int seed = 0;
};

// "Jet" or "Server": the suffix of each engine's tests.
std::string EngineName(const ::testing::TestParamInfo<testsupport::Engine>& info);

class QueueRunFixture : public ::testing::TestWithParam<testsupport::Engine> {
protected:
    // Registers the providers; skips the test on the server when no test server runs.
    void SetUp() override;
    void TearDown() override;

    // Makes a new data set in the folder name of the temporary folder and makes it the current one: the
    // settings for this workstation, the product's databases (on the server, the catalog anew), a user, the
    // workstation and the sample. A failing step is a test failure. server is the Data Source of the server
    // to use, the shared test server when empty; a server of the test's own must not hold the catalog yet.
    void MakeDataSet(const QString& name, const SampleOptions& sample, const QString& server = {});

    // Runs kestrane-admin on the current data set and returns its standard output; an exit status other than
    // 0 is a test failure.
    QString Admin(const QStringList& arguments);

    QString MainString() const;
    QString UsersString() const;
    // The rows of sql, fields as text ("Null" for Null). Raises ado::Error.
    std::vector<QStringList> Rows(const QString& connectionString, const QString& sql,
                                  const QStringList& fields) const;
    // The (Client_ID, Agency_ID) pairs of the rows of sql on the main database.
    Pairs PairsOf(const QString& sql) const;
    // The pairs of client and agency that have more than one Blacklist row.
    std::vector<QStringList> DuplicatePairs() const;

    QTemporaryDir temp_;
    QString config_;    // the settings folder (XDG_CONFIG_HOME) of the current data set
    QString dataPath_;  // its data folder, with a trailing "/"
    QString user_;      // the ID of its user
    QString server_;    // its server's Data Source (on the server)
};

}  // namespace acceptance
