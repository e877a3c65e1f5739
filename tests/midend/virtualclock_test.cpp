// The virtual clock: the countdown's rhythm, when a newly enabled timer ticks, ties and dropped ticks.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "midend/virtualclock.h"
#include "tests/core/fakehost.h"

namespace farvane {
namespace {

struct Clocked {
    test::FakeHost host;
    Veskara form{host};
    VirtualClock clock{loaded(form)};

    static Veskara& loaded(Veskara& form)
    {
        form.Form_Load();
        return form;
    }
};

TEST(VirtualClock, CountdownWordsFallOnEvery600Ms)
{
    Clocked run;
    run.form.mnuStart_Click();
    run.clock.sync();
    const struct {
        VirtualClock::Millis at;
        const char* caption;
    } steps[] = {{599, ""}, {600, "Ready"}, {1199, "Ready"}, {1200, "Set"}, {1800, "Go!"}, {2399, "Go!"}, {2400, ""}};
    for (const auto& step : steps) {
        run.clock.advanceTo(step.at);
        EXPECT_EQ(run.clock.now(), step.at);
        EXPECT_EQ(run.form.lblReady.Caption, step.caption) << "at " << step.at << " ms";
    }
    EXPECT_TRUE(run.form.Timer1.Enabled);
    EXPECT_FALSE(run.form.Timer2.Enabled);
}

TEST(VirtualClock, FirstGameTickComes50MsAfterTheCountdownEnds)
{
    Clocked run;
    run.form.mnuStart_Click();
    run.clock.sync();
    run.clock.advanceTo(2449);
    EXPECT_EQ(run.form.lblScore.Caption, "0");
    EXPECT_EQ(run.clock.nextDue(), 2450u);
    run.clock.advanceTo(2450);
    EXPECT_EQ(run.form.lblScore.Caption, "1");
}

TEST(VirtualClock, ATimerEnabledInsideATickCountsFromThatTicksTime)
{
    Clocked run;
    run.form.mnuStart_Click();
    run.clock.sync();
    // One long advance: Timer1 turns on inside the tick at 2400, so 3000 ms sees 12 game ticks.
    run.clock.advanceTo(3000);
    EXPECT_EQ(run.form.lblScore.Caption, "12");
    EXPECT_EQ(run.clock.now(), 3000u);
}

// Advances to `until` and names the timer of each tick, told apart by what changed.
std::vector<std::string> tickOrder(Clocked& run, VirtualClock::Millis until)
{
    std::vector<std::string> order;
    std::string score = run.form.lblScore.Caption;
    std::int16_t countdown = run.form.CountdownStep;
    run.clock.advanceTo(until, [&] {
        if (run.form.lblScore.Caption != score)
            order.push_back("Timer1@" + std::to_string(run.clock.now()));
        if (run.form.CountdownStep != countdown)
            order.push_back("Timer2@" + std::to_string(run.clock.now()));
        score = run.form.lblScore.Caption;
        countdown = run.form.CountdownStep;
        return true;
    });
    return order;
}

TEST(VirtualClock, SameInstantTicksRunInTheOrderTheirTimersWereEnabled)
{
    Clocked timer1First;
    timer1First.form.Timer1.Interval = 600;
    timer1First.form.Timer1.Enabled = true;
    timer1First.clock.sync();
    timer1First.form.Timer2.Enabled = true;
    timer1First.clock.sync();
    EXPECT_EQ(tickOrder(timer1First, 600), (std::vector<std::string>{"Timer1@600", "Timer2@600"}));

    Clocked timer2First;
    timer2First.form.Timer1.Interval = 600;
    timer2First.form.Timer2.Enabled = true;
    timer2First.clock.sync();
    timer2First.form.Timer1.Enabled = true;
    timer2First.clock.sync();
    EXPECT_EQ(tickOrder(timer2First, 600), (std::vector<std::string>{"Timer2@600", "Timer1@600"}));
}

TEST(VirtualClock, ReenablingMovesATimerBehindOneThatStayedOn)
{
    Clocked run;
    run.form.Timer1.Interval = 600;
    run.form.Timer1.Enabled = true;
    run.clock.sync();
    run.form.Timer2.Enabled = true;
    run.clock.sync();
    run.form.Timer1.Enabled = false;
    run.clock.sync();
    run.form.Timer1.Enabled = true;
    run.clock.sync();
    EXPECT_EQ(tickOrder(run, 600), (std::vector<std::string>{"Timer2@600", "Timer1@600"}));
}

TEST(VirtualClock, DisablingDropsThePendingTick)
{
    Clocked run;
    run.form.Timer2.Enabled = true;
    run.clock.sync();
    run.clock.advanceTo(300);
    run.form.Timer2.Enabled = false;
    run.clock.sync();
    EXPECT_EQ(run.clock.nextDue(), std::nullopt);
    run.clock.advanceTo(400);
    run.form.Timer2.Enabled = true;
    run.clock.sync();
    EXPECT_EQ(tickOrder(run, 1600), (std::vector<std::string>{"Timer2@1000", "Timer2@1600"}));
}

TEST(VirtualClock, EnablingAnEnabledTimerChangesNothing)
{
    Clocked run;
    run.form.Timer2.Enabled = true;
    run.clock.sync();
    run.clock.advanceTo(500);
    run.form.Timer2.Enabled = true;
    run.clock.sync();
    EXPECT_EQ(run.clock.nextDue(), 600u);
}

TEST(VirtualClock, AdvanceStopsAtTheTickWhoseCallbackSaysSo)
{
    Clocked run;
    run.form.Timer2.Enabled = true;
    run.clock.sync();
    int ticks = 0;
    EXPECT_FALSE(run.clock.advanceTo(10000, [&] { return ++ticks < 2; }));
    EXPECT_EQ(ticks, 2);
    EXPECT_EQ(run.clock.now(), 1200u);
    EXPECT_EQ(run.form.CountdownStep, 2);
}

TEST(VirtualClock, IdleTimersLetTheClockJumpAndNeverWrap)
{
    Clocked run;
    for (int i = 0; i < 4; ++i)
        run.clock.advanceTo(run.clock.now() + 2147483647u);
    EXPECT_EQ(run.clock.now(), VirtualClock::Millis{4} * 2147483647u);
    EXPECT_EQ(run.clock.nextDue(), std::nullopt);
}

} // namespace
} // namespace farvane
