#include "DeferredQuit.h"
#include "support/GuiTestSupport.h"

#include <gtest/gtest.h>

namespace
{
using State = DeferredQuit::State;

struct QuitWatch
{
    State state = State::Idle;
    int quits = 0;
    int helds = 0;
    DeferredQuit quit { [this] { return state; }, [this] { ++quits; }, [this] { ++helds; } };
};
} // namespace

TEST (DeferredQuit, OnlyARestoreOrAnImageOnItsWayHoldsTheQuitBack)
{
    for (std::uint32_t value = State::Disconnected; value <= State::Error; ++value)
    {
        SCOPED_TRACE (value);
        QuitWatch watch;
        watch.state = (State) value;
        watch.quit.request();

        const bool held = value == State::Restoring || value == State::UpdatingFirmware;
        EXPECT_EQ (watch.quit.isHeld(), held);
        EXPECT_EQ (watch.quits, held ? 0 : 1);
        EXPECT_EQ (watch.helds, held ? 1 : 0);
    }
}

TEST (DeferredQuit, AHeldQuitComesOnceTheJobHasEndedWhateverItsEnd)
{
    for (auto [running, after] : { std::pair { State::UpdatingFirmware, State::UpdateComplete },
                                   std::pair { State::Restoring, State::Error },
                                   std::pair { State::Restoring, State::Disconnected } })
    {
        QuitWatch watch;
        watch.state = running;
        watch.quit.request();
        watch.quit.request(); // a second close while it waits changes nothing

        EXPECT_FALSE (GuiTest::runUntil ([&] { return watch.quits > 0; }, 3 * DeferredQuit::pollIntervalMs));
        watch.state = after;
        EXPECT_TRUE (GuiTest::runUntil ([&] { return watch.quits > 0; }, 5000));
        GuiTest::runPendingMessages();
        EXPECT_EQ (watch.quits, 1);
        EXPECT_EQ (watch.helds, 1);
    }
}
