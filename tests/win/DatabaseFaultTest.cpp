// A log database that fails in the middle of a recalculation, at each of the
// calls a healthy one makes, at the first show and at a press of the button:
// one error box naming the failure, the window alive with its button
// enabled, and the next press gives the right report.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ModuleFixture.h"
#include "WinTestSupport.h"
#include "adosim/AdoSim.h"

namespace yol::wintest {
namespace {

// A database call that returns a plain HRESULT, and one that raises an
// exception with its own description.
std::vector<adosim::Fault> Kinds() {
    return {adosim::Fault::Plain(0), adosim::Fault::Exception(0, L"The log database went away.")};
}

class DatabaseFaultTest : public ModuleFixture {
protected:
    void SetUp() override {
        log.CreateLogTable();
        log.Add("W1AW", "14", "CW", "K", "NA", "599 12");
        log.Add("DL1A", "7", "CW", "DL", "EU", "599 MO05");
        log.Add("UA9X", "3.5", "SSB", "UA9", "AS", "599 SV01");
    }
    static void Press(HWND w) {
        SendMessageW(ChildOfClass(w, L"Button"), BM_CLICK, 0, 0);
        Pump();
    }
    long Calls() const { return adosim::CallCount(log.Connection()); }

    // After a recalculation the fault broke: at most one error box, naming
    // the failed call or carrying the database's description; the window
    // stands with its button enabled; the next press rebuilds the report.
    void ExpectRecovery(HWND w, const adosim::Fault& fault, const std::string& expected) {
        const std::string failed = Utf8(adosim::FailedCall(log.Connection()));
        SCOPED_TRACE("failed call " + std::to_string(fault.atCall) + ": " + failed +
                     (fault.withException ? " (exception)" : " (HRESULT)"));
        ASSERT_FALSE(failed.empty()) << "the fault did not fire";
        const auto boxes = errors.Take();
        if (failed == "Invoke Recordset.Close") {
            EXPECT_TRUE(boxes.empty()) << "closing after the walk fails quietly";
        } else if (boxes.size() != 1) {
            ADD_FAILURE() << boxes.size() << " error boxes";
        } else if (fault.withException && failed.starts_with("Invoke ")) {
            EXPECT_EQ(boxes[0].text, Utf8(fault.description));
        } else {
            // "Invoke Recordset.EOF" -> "LogQuery: Recordset.EOF failed: HRESULT 0x80004005 ..."
            const bool lookup = failed.starts_with("GetIDsOfNames ");
            const std::string member = failed.substr(failed.find(' ') + 1);
            const std::string start =
                "LogQuery: " + (lookup ? "looking up " + member : member) + " failed: HRESULT 0x80004005";
            EXPECT_EQ(boxes[0].text.substr(0, start.size()), start) << boxes[0].text;
        }
        ASSERT_TRUE(IsWindow(w));
        EXPECT_TRUE(IsWindowVisible(w));
        EXPECT_TRUE(IsWindowEnabled(ChildOfClass(w, L"Button")));
        Press(w);
        EXPECT_EQ(StatisticText(w), expected);
        EXPECT_TRUE(errors.Take().empty());
    }
};

TEST_F(DatabaseFaultTest, FailureAtAnyCallOfTheFirstShowLeavesAWorkingWindow) {
    const long before = Calls();
    HWND w = Run();
    const long calls = Calls() - before;
    const std::string expected = StatisticText(w);
    ASSERT_NE(expected.find(" 3.5\t     1\t"), std::string::npos) << expected;
    ASSERT_GT(calls, 20);
    module.Release();
    Pump();
    ASSERT_FALSE(IsWindow(w));

    for (adosim::Fault fault : Kinds()) {
        for (fault.atCall = 1; fault.atCall <= calls; ++fault.atCall) {
            adosim::InjectFault(log.Connection(), fault);
            w = Run();
            ExpectRecovery(w, fault, expected);
            module.Release();
            Pump();
            ASSERT_FALSE(IsWindow(w));
            if (HasFailure()) return;
        }
    }
}

TEST_F(DatabaseFaultTest, FailureAtAnyCallOfTheButtonsRecalculationLeavesAWorkingWindow) {
    HWND w = Run();
    const std::string expected = StatisticText(w);
    const long before = Calls();
    Press(w);
    const long calls = Calls() - before;
    ASSERT_EQ(StatisticText(w), expected);
    ASSERT_GT(calls, 20);

    for (adosim::Fault fault : Kinds()) {
        for (fault.atCall = 1; fault.atCall <= calls; ++fault.atCall) {
            adosim::InjectFault(log.Connection(), fault);
            Press(w);
            ExpectRecovery(w, fault, expected);
            if (HasFailure()) return;
        }
    }
}

}  // namespace
}  // namespace yol::wintest
