#pragma once
// What the engine's tests share: a product database of either engine that the test fills, the connection
// settings the rebuilds read, the statement trace, and a recorder of the message window.

#include "ado/connection.h"
#include "app/frm_message.h"
#include "data/connection_settings.h"
#include "engine/rebuild_agency.h"
#include "support/databases.h"
#include "support/program_environment.h"

#include <QObject>
#include <QStringList>

#include <gtest/gtest.h>

#include <array>
#include <memory>
#include <ostream>
#include <set>
#include <vector>

// Lets GoogleTest print texts in its failure messages.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

namespace enginetest {

using testsupport::Engine;
using Pair = std::pair<int32_t, int32_t>;  // (client, agency)
using PairSet = std::set<Pair>;

// One Blacklist row as a test writes it.
struct Entry {
    int32_t clientId = 0;
    int32_t agencyId = 0;
    bool manual = false;
    QString notes;
    bool operator==(const Entry&) const = default;
};

inline void PrintTo(const Entry& e, std::ostream* os) {
    *os << "{" << e.clientId << ", " << e.agencyId << ", " << e.manual << ", \"" << e.notes.toStdString()
        << "\"}";
}

// Which kinds an agency refuses: Drug, Sex, Theft, Violent.
using Refusals = std::array<bool, 4>;
constexpr Refusals kRefusesDrug = {true, false, false, false};
constexpr Refusals kRefusesNothing = {false, false, false, false};

// The flags the queue passes: the agency's own, their negations, and force.
inline engine::AgencyRebuildFlags FromQueue(Refusals r) {
    return {r[0], r[1], r[2], r[3], !r[0], !r[1], !r[2], !r[3], true};
}

class EngineFixture : public ::testing::Test {
public:
    // Makes a product database of engine and fills the settings as ConnectDatabase would for it. Skips the
    // test (fails it under KESTRANE_REQUIRE_PG) when the server is wanted and not running.
    void UseDatabase(Engine engine);
    // Unloads the windows that a run ended at once left behind.
    void TearDown() override;

    // Runs sql on the test's own connection; raises ado::Error.
    void Exec(const QString& sql) { db_->Execute(sql); }
    // Every row of sql, all fields in order.
    std::vector<std::vector<ado::Variant>> Query(const QString& sql);
    // Adds rows ("(1, 2)") to table ("Cases ([People ID], [Court Charge])"), 500 to a statement.
    void Insert(const QString& table, const QStringList& rows);
    void InsertEntries(const std::vector<Entry>& entries);
    void InsertAgency(int32_t id, Refusals refuses, bool inactive = false);
    // A court charge whose flags are given in the order Drug, Sex, Theft, Violent (-1 for Null).
    void InsertCharge(int32_t id, std::array<int, 4> flags);
    // count cases (or criminal-history rows) of client with the charge.
    void InsertCases(int32_t clientId, int32_t chargeId, int count = 1, bool history = false);
    void InsertHistory(int32_t clientId, int32_t chargeId, int count = 1) {
        InsertCases(clientId, chargeId, count, true);
    }

    // The entries that condition (a WHERE clause without WHERE, or empty for all) gives, ordered by ID.
    std::vector<Entry> Entries(const QString& condition = {});
    int64_t Count(const QString& condition = {});
    // The message boxes shown so far, each as its text, a space and its buttons.
    QStringList Shown();

    QString T() const { return data::Settings().trueLiteral; }
    QString F() const { return data::Settings().falseLiteral; }

    testsupport::ProgramEnvironment env_;
    // The message window, as the queue processor shows it during an agency's rebuild.
    app::MessageWindowProgress messageWindow_;

private:
    std::unique_ptr<ado::Connection> db_;
};

// A fixture run once per engine.
class EachEngine : public EngineFixture, public ::testing::WithParamInterface<Engine> {
protected:
    void SetUp() override { UseDatabase(GetParam()); }
};

std::string EngineName(const ::testing::TestParamInfo<Engine>& info);

// The statements the program wrote since construction, from the trace that every engine test program keeps.
struct StatementTrace {
    StatementTrace();
    QStringList Written() const;
    int64_t start_ = 0;
};

// Records what the message window shows: its captions, each new text of stsBar, and the captions of
// lblMessage as an unattended run writes them to standard output (which is captured meanwhile). Attaches to
// the window instance that the next rebuild will use, creating it.
class MessageWindowRecorder : public QObject {
public:
    MessageWindowRecorder();
    ~MessageWindowRecorder() override { Stop(); }
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
