#include "settings/busy_progress.h"
#include "settings/tick_clock.h"

#include "support/busy_recorder.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

TEST(BusyProgress, SetProgressActsOncePerTickAndOnlyWhileShown)
{
    TManualClock clock(1000);
    TBusyRecorder busy;
    busy.SetClock(&clock);
    busy.SetPosition(3);
    busy.SetProgress(50, 100);
    EXPECT_EQ(busy.Position(), 3);  // hidden: nothing happens
    EXPECT_EQ(busy.processEventsCalls, 0);

    busy.Show();
    busy.SetProgress(10, 200);
    EXPECT_EQ(busy.Position(), 10);
    EXPECT_EQ(busy.Maximum(), 200);
    EXPECT_TRUE(busy.BarVisible());
    EXPECT_EQ(busy.processEventsCalls, 1);
    busy.SetProgress(20, 200);  // same tick count: ignored
    EXPECT_EQ(busy.Position(), 10);
    EXPECT_EQ(busy.processEventsCalls, 1);

    clock.Advance(1);
    busy.SetProgress(5, 0);
    EXPECT_FALSE(busy.BarVisible());
    EXPECT_EQ(busy.Position(), 10);
    clock.Advance(1);
    busy.SetProgress(-1, 10);
    EXPECT_FALSE(busy.BarVisible());
    clock.Advance(1);
    busy.SetProgress(0, 0);
    EXPECT_FALSE(busy.BarVisible());
    EXPECT_EQ(busy.processEventsCalls, 4);
}

TEST(BusyProgress, ScopeShowsWithCaptionAndHidesOnEveryWayOut)
{
    TBusyRecorder busy;
    try {
        TBusyScope scope(busy, QStringLiteral("Loading links"));
        EXPECT_TRUE(busy.IsVisible());
        throw std::runtime_error("failed");
    } catch (const std::runtime_error&) {
    }
    EXPECT_FALSE(busy.IsVisible());
    EXPECT_EQ(busy.events, QStringList({"show Loading links", "hide Loading links"}));
    EXPECT_FALSE(busy.CancelRequested());
    busy.RequestCancel();
    EXPECT_TRUE(busy.CancelRequested());
}

TEST(TickClock, DifferencesSurviveTheWrapOfTheCount)
{
    EXPECT_EQ(TicksSince(0xFFFFFF00u, 0x00000100u), 0x200u);
    EXPECT_EQ(TicksSince(5, 5), 0u);
}

} // namespace
