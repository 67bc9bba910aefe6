// How long an agency rebuild over a few thousand flagged rows takes on each engine. Run by hand:
//   QT_QPA_PLATFORM=offscreen test_engine --gtest_also_run_disabled_tests --gtest_filter='*RebuildSpeed*'
#include "engine_fixture.h"

#include "engine/rebuild_agency.h"

#include <QElapsedTimer>

#include <iostream>

namespace enginetest {
namespace {

using RebuildSpeed = EachEngine;

TEST_P(RebuildSpeed, DISABLED_AgencyOverFourThousandFlaggedRows) {
    constexpr int kClients = 2000;
    InsertAgency(1, {true, false, true, false});
    InsertCharge(1, {1, 0, 0, 0});
    InsertCharge(2, {0, 0, 1, 1});
    for (int client = 1; client <= kClients; ++client) {
        InsertCases(client, client % 2 == 0 ? 1 : 2);
        if (client % 2 == 0)
            InsertHistory(client, 2);
    }
    InsertCases(1, 1, 1000);  // 4,000 flagged rows in all

    for (const char* run : {"first rebuild (adds)", "second rebuild (removes and adds)"}) {
        QElapsedTimer timer;
        timer.start();
        engine::RebuildAgencyDisqualifications(1, {true, false, true, false, false, true, false, true, true});
        std::cout << EngineName({GetParam(), 0}) << " " << run << ": " << timer.elapsed() << " ms, "
                  << Count() << " entries" << std::endl;
    }
    EXPECT_EQ(Count(), kClients);
}

INSTANTIATE_TEST_SUITE_P(Engines, RebuildSpeed, ::testing::Values(Engine::Jet, Engine::Server), EngineName);

}  // namespace
}  // namespace enginetest
