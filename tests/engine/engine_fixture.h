#pragma once
// What the engine's tests share: the program environment, a product database of either engine that the test
// fills, the connection settings the rebuilds read, the statement trace, and a recorder of the message
// window.

#include "ado/connection.h"
#include "ado/variant.h"
#include "app/frm_message.h"
#include "support/databases.h"
#include "support/program_environment.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <memory>
#include <ostream>
#include <set>
#include <utility>
#include <vector>

// Lets GoogleTest print texts in its failure messages.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

namespace enginetest {

using testsupport::Engine;
using Pair = std::pair<int32_t, int32_t>;  // (client, agency)
using PairSet = std::set<Pair>;
using Rows = std::vector<std::vector<ado::Variant>>;

// One Blacklist row as a test writes it.
struct Entry {
    int32_t clientId = 0;
    int32_t agencyId = 0;
    bool manual = false;
    QString notes;
    bool operator==(const Entry&) const = default;
};

inline void PrintTo(const Entry& e, std::ostream* os) {
    *os << "{client " << e.clientId << ", agency " << e.agencyId
        << (e.manual ? ", manual, " : ", automatic, ") << '"' << e.notes.toStdString() << "\"}";
}

class EngineFixture : public ::testing::Test {
public:
    // Makes a product database of engine and fills the settings as ConnectDatabase would for it. Skips the
    // test (fails it under KESTRANE_REQUIRE_PG) when the server is wanted and not running.
    void UseDatabase(Engine engine);

    // Unloads the windows that a run ended at once left behind.
    void TearDown() override;

    // Runs sql on the test's own connection; raises ado::Error.
    void Exec(const QString& sql);
    // Every row of sql, all fields in order.
    Rows Query(const QString& sql);
    // Adds entries with as many multi-row INSERTs as needed.
    void InsertEntries(const std::vector<Entry>& entries);
    // Adds an agency with the given refusal flags (Drug, Sex, Theft, Violent).
    void InsertAgency(int32_t id, std::array<bool, 4> refuses, bool inactive = false);
    // Adds a court charge whose flags are given in the order Drug, Sex, Theft, Violent (-1 for Null).
    void InsertCharge(int32_t id, std::array<int, 4> flags);
    // Adds count cases (or criminal-history rows) of client with the charge.
    void InsertCases(int32_t clientId, int32_t chargeId, int count = 1);
    void InsertHistory(int32_t clientId, int32_t chargeId, int count = 1);

    // The automatic (client, agency) pairs in Blacklist.
    PairSet AutomaticPairs();
    // Every entry, ordered by ID.
    std::vector<Entry> Entries(const QString& condition = {});
    // How many Blacklist rows match condition (a WHERE clause without WHERE, or empty for all).
    int64_t Count(const QString& condition = {});

    QString T() const;  // the true literal
    QString F() const;  // the false literal
    Engine engine() const { return engine_; }

    testsupport::ProgramEnvironment env_;
    // The message window, as the queue processor shows it during an agency's rebuild.
    app::MessageWindowProgress messageWindow_;

private:
    void InsertOffences(const QString& table, int32_t clientId, int32_t chargeId, int count);
    Engine engine_ = Engine::Jet;
    std::unique_ptr<ado::Connection> db_;
};

// A fixture run once per engine.
class EachEngine : public EngineFixture, public ::testing::WithParamInterface<Engine> {
protected:
    void SetUp() override { UseDatabase(GetParam()); }
};

// Names the engine in a parameterized test's name.
std::string EngineName(const ::testing::TestParamInfo<Engine>& info);

// The statements the program wrote, from the trace that every engine test program keeps.
class StatementTrace {
public:
    StatementTrace();  // starts at the end of the trace so far
    // The statements as the program wrote them since construction.
    QStringList Written() const;
    // How many of them are exactly text.
    int CountExactly(const QString& text) const;

private:
    int64_t start_ = 0;
};

// Records what the message window shows: its captions, each new text of stsBar, and the captions of
// lblMessage as an unattended run writes them to standard output (which is captured meanwhile). Attaches to
// the window instance that the next rebuild will use, creating it.
class MessageWindowRecorder : public QObject {
public:
    MessageWindowRecorder();
    ~MessageWindowRecorder() override;
    // Ends the capture of standard output and fills captions.
    void Stop();

    QStringList titles;
    QStringList captions;
    QStringList statusTexts;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool capturing_ = false;
};

}  // namespace enginetest
