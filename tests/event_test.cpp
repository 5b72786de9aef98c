// The event state machine and the records it composes.
#include <gtest/gtest.h>

#include "observation/event_rewriting.h"

namespace ferrule {
namespace {

// Drives the machine into a state from EventIdle.
EventStateMachine inState(EventState state) {
    EventStateMachine machine;
    if (state == EventMoving) machine.onEventRecord(2);
    if (state == EventNewSite) machine.onEventRecord(3);
    return machine;
}

TEST(EventStateMachine, TransitionTable) {
    const struct {
        EventState before;
        int flag;
        EventState after;
        EventAction action;
    } table[] = {
        {EventIdle, 2, EventMoving, EventAction::WriteWithRecordCount},
        {EventIdle, 3, EventNewSite, EventAction::WriteLine},
        {EventIdle, 4, EventIdle, EventAction::WriteLine},
        {EventIdle, 1, EventIdle, EventAction::WriteLine},
        {EventIdle, 5, EventIdle, EventAction::WriteLine},
        {EventMoving, 2, EventIdle, EventAction::WriteLine},
        {EventMoving, 3, EventNewSite, EventAction::WriteLine},
        {EventMoving, 4, EventMoving, EventAction::WriteSiteMarkerName},
        {EventMoving, 6, EventMoving, EventAction::WriteLine},
        {EventNewSite, 2, EventIdle, EventAction::WriteLine},
        {EventNewSite, 3, EventNewSite, EventAction::WriteLine},
        {EventNewSite, 4, EventNewSite, EventAction::WriteLine},
        {EventNewSite, 9, EventNewSite, EventAction::WriteLine},
    };
    for (const auto& row : table) {
        SCOPED_TRACE(testing::Message() << "state " << row.before << ", flag " << row.flag);
        EventStateMachine machine = inState(row.before);
        EXPECT_EQ(machine.onEventRecord(row.flag).action, row.action);
        EXPECT_EQ(machine.eventState(), row.after);
    }
}

TEST(EventStateMachine, OccupationsOfAMovingPeriodGetConsecutiveIdentifiers) {
    EventStateMachine machine = inState(EventMoving);
    EXPECT_EQ(machine.onEventRecord(4).siteId, 0);
    EXPECT_EQ(machine.onEventRecord(4).siteId, 1);
    machine.onEventRecord(2);  // closes the period
    EXPECT_EQ(machine.onEventRecord(4).action, EventAction::WriteLine);
    machine.onEventRecord(2);  // opens the next one
    EXPECT_EQ(machine.onEventRecord(4).siteId, 2);
}

TEST(EventStateMachine, IdentifiersRunOutAfter800K) {
    EventStateMachine machine = inState(EventMoving);
    for (int id = 0; id <= kSiteIdLimit; ++id) {
        const EventDecision decision = machine.onEventRecord(4);
        ASSERT_EQ(decision.action, EventAction::WriteSiteMarkerName);
        ASSERT_EQ(decision.siteId, id);
    }
    EXPECT_EQ(machine.onEventRecord(4).action, EventAction::StopAtSiteIdLimit);
    EXPECT_EQ(machine.siteIdCounter(), 2049);
}

TEST(EventRecords, SiteMarkerNameRecordIsEightyColumnsInLowerCaseHexadecimal) {
    const std::string tail =
        "                                                        MARKER NAME         \r\n";
    EXPECT_EQ(siteMarkerNameRecord(0), "000K" + tail);
    EXPECT_EQ(siteMarkerNameRecord(10), "00aK" + tail);
    EXPECT_EQ(siteMarkerNameRecord(255), "0ffK" + tail);
    EXPECT_EQ(siteMarkerNameRecord(2048), "800K" + tail);
    EXPECT_EQ(siteMarkerNameRecord(2048).size(), 82u);
}

TEST(EventRecords, MovingAntennaBlockCarriesTheEpochsTime) {
    const std::string tail =
        "                            4  1\r\n"
        "               ***  ANTENNA IS NOW MOVING  ***              COMMENT             \r\n";
    EXPECT_EQ(movingAntennaBlock(" 19  5 25  1  2 30.0000000  0  3G01G03G08\r\n"),
              " 19  5 25  1  2 30.0000000  2\r\n" + tail);
    // A line shorter than 28 characters before its line end is padded with blanks.
    EXPECT_EQ(movingAntennaBlock(" 19  5 25  1  2 30.00000\r\n"),
              " 19  5 25  1  2 30.00000    2\r\n" + tail);
    EXPECT_EQ(movingAntennaBlock("\n"), std::string(28, ' ') + "2\r\n" + tail);
}

TEST(EventRecords, BeforeLineEndCutsAtTheFirstLineFeedThenTheFirstCarriageReturn) {
    EXPECT_EQ(beforeLineEnd(" 19  5 25  1  3  0.0000000  2\r\n"), " 19  5 25  1  3  0.0000000  2");
    EXPECT_EQ(beforeLineEnd("ab\rcd\r\n"), "ab");
    EXPECT_EQ(beforeLineEnd("ab\n"), "ab");
    EXPECT_EQ(beforeLineEnd("ab  1   \r\n"), "ab  1   ");
}

}  // namespace
}  // namespace ferrule
