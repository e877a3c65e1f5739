// Start-up: the module variables' start values and the six drifts drawn at load.
#include <gtest/gtest.h>

#include "fakehost.h"
#include "game/form.h"

using namespace farvane;
using farvane::test::FakeHost;

TEST(FormLoad, ModuleVariablesAreAllZeroBeforeLoad)
{
    FakeHost host;
    const Veskara form(host);
    EXPECT_EQ(form.RightEdge, 0);
    EXPECT_EQ(form.LeftEdge, 0);
    EXPECT_EQ(form.FallStep, 0);
    EXPECT_EQ(form.ScoreStep, 0);
    for (const auto drift : form.Drift)
        EXPECT_EQ(drift, 0);
    EXPECT_EQ(form.random.State(), RandomSource::StartState);
}

TEST(FormLoad, SetsTheStartValuesAndLeavesTheRestAtZero)
{
    FakeHost host;
    Veskara form(host);
    form.Form_Load();
    EXPECT_EQ(form.RightEdge, 14);
    EXPECT_EQ(form.LeftEdge, 15);
    EXPECT_EQ(form.FallStep, 100);
    EXPECT_EQ(form.BigFallStep, 0);
    EXPECT_EQ(form.ScoreStep, 1);
    EXPECT_EQ(form.CountdownStep, 0);
    EXPECT_EQ(form.Steer, 0);
    for (const auto spawn : form.SpawnLeft)
        EXPECT_EQ(spawn, 0);
}

TEST(FormLoad, DrawsTheSixDriftsFromTheFirstSixRndValues)
{
    FakeHost host;
    Veskara form(host);
    form.Form_Load();
    // Int(Rnd * 500 - 250) of the first six draws, in the order Drift(0..3), BigDrift(0..1).
    EXPECT_EQ(form.Drift[0], 102);
    EXPECT_EQ(form.Drift[1], 16);
    EXPECT_EQ(form.Drift[2], 39);
    EXPECT_EQ(form.Drift[3], -106);
    EXPECT_EQ(form.BigDrift[0], -100);
    EXPECT_EQ(form.BigDrift[1], 137);

    RandomSource reference;
    for (int k = 0; k < 6; ++k)
        reference.Rnd();
    EXPECT_EQ(form.random, reference) << "Form_Load draws exactly six values";
}

TEST(FormLoad, DriftsLieWithinMinus250To249)
{
    FakeHost host;
    Veskara form(host);
    form.Form_Load();
    for (const auto drift : form.Drift) {
        EXPECT_GE(drift, -250);
        EXPECT_LE(drift, 249);
    }
    for (const auto drift : form.BigDrift) {
        EXPECT_GE(drift, -250);
        EXPECT_LE(drift, 249);
    }
}

TEST(FormLoad, TwoFormsStartWithTheSameDrifts)
{
    FakeHost host;
    Veskara first(host);
    Veskara second(host);
    first.Form_Load();
    second.Form_Load();
    EXPECT_EQ(first.Drift, second.Drift);
    EXPECT_EQ(first.BigDrift, second.BigDrift);
}

TEST(FormLoad, TouchesNoSceneElement)
{
    FakeHost host;
    Veskara form(host);
    const Scene before = form;
    form.Form_Load();
    for (std::size_t i = 0; i < form.Obstacle.size(); ++i)
        EXPECT_EQ(form.Obstacle[i].Left, before.Obstacle[i].Left);
    EXPECT_EQ(form.lblScore.Caption, "0");
    EXPECT_FALSE(form.Timer1.Enabled);
    EXPECT_FALSE(form.Timer2.Enabled);
    EXPECT_TRUE(host.boxes.empty());
}
