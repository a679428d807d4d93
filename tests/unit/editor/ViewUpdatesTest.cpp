#include "ViewTestSupport.h"

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

using namespace viewtest;
using State = Quellon::QuellonEditorService::State;

namespace
{
using ViewUpdatesTest = ViewFixture;

// Stops a task in its progress reports until the test lets it go, so that the
// test looks at a state that no time limit can end first.
class ProgressHold : public std::enable_shared_from_this<ProgressHold>
{
public:
    // The report reaches `show` first; then the task waits (for a failed
    // test, no longer than the deadline).
    std::function<void (double)> wrap (std::function<void (double)> show)
    {
        return [self = shared_from_this(), show] (double fraction) {
            show (fraction);
            std::unique_lock<std::mutex> lock (self->mutex);
            self->reached = true;
            self->opened.wait_for (lock, std::chrono::milliseconds (deadlineMs), [&] { return self->released; });
        };
    }

    bool isHolding()
    {
        std::lock_guard<std::mutex> lock (mutex);
        return reached && ! released;
    }

    void release()
    {
        {
            std::lock_guard<std::mutex> lock (mutex);
            released = true;
        }

        opened.notify_all();
    }

private:
    std::mutex mutex;
    std::condition_variable opened;
    bool reached = false;
    bool released = false;
};
} // namespace

TEST_F (ViewUpdatesTest, ReportsArePassedOnInOnePassWithTheLatestValue)
{
    view->onParameterChanged (param (0x205), { 1, -3.0 });
    view->onParameterChanged (param (0x205), { 1, 5.0 });
    view->onParameterChanged (param (0x201), { 0, 4.9 });
    view->onParameterChanged (param (0x206), { 0, 2.0 });
    settle();

    EXPECT_EQ (editLabel().getText(), "5.0 dB");
    EXPECT_EQ (label (choice201).getText(), "SVT"); // 4.9 is truncated to 4
    EXPECT_EQ (label (choice206).getText(), ""); // 2 is not one of its choices

    // A full refresh re-reads everything from the service (its defaults here)
    // and ignores what was reported with it.
    view->onParameterChanged (param (0x205), { 1, 7.0 });
    view->onRefreshAll();
    settle();
    EXPECT_EQ (editLabel().getText(), "0.0 dB");
    EXPECT_EQ (label (choice201).getText(), "DI");
    EXPECT_EQ (label (choice206).getText(), "AMP");
}

TEST_F (ViewUpdatesTest, ATaskShowsItsProgressUntilItFails)
{
    plug();

    // The unit keeps quiet on the read of the first cabinet: the backup waits there.
    vunit::VirtualUnit::Fault silent;
    silent.kind = vunit::VirtualUnit::Fault::Kind::Silent;
    silent.type = Korvalune::READ_REQUEST;
    silent.at = 2;
    unit->addFault (silent);

    // It is held in its first progress report while the test looks.
    auto hold = std::make_shared<ProgressHold>();
    ASSERT_TRUE (service.startBackup (hold->wrap (view->makeProgressCallback()), [] (const auto&) {}).ok);
    auto& overlay = view->getOverlay();
    ASSERT_TRUE (GuiTest::runUntil ([&] { return hold->isHolding() && overlay.getProgressBar().isVisible(); },
                                    deadlineMs));
    EXPECT_EQ (overlay.getHeadline(), "Receiving...");
    EXPECT_TRUE (overlay.getSpinner().isVisible());
    EXPECT_EQ (overlay.getProgress(), 0.0);

    view->onProgress (0.5);
    settle();
    EXPECT_EQ (overlay.getProgress(), 0.5);

    hold->release();
    waitForState (State::Error);
    EXPECT_EQ (overlay.getHeadline(), "Error:");
    EXPECT_EQ (overlay.getDetail(), juce::String (service.getLastError()));
    EXPECT_FALSE (overlay.getProgressBar().isVisible());
    EXPECT_FALSE (overlay.getSpinner().isVisible());
}

TEST_F (ViewUpdatesTest, ErrorsFromAnyThreadBecomeAlertsInTheOrderPosted)
{
    std::thread ([&] { view->showError ("first from %s", "a worker"); }).join();
    std::thread ([&] { view->showError ("%s", std::string (600, 'x').c_str()); }).join();
    view->showError (nullptr);
    EXPECT_TRUE (alertRecorder.alerts.empty());

    ASSERT_TRUE (GuiTest::runUntil ([&] { return alertRecorder.alerts.size() == 3; }));
    EXPECT_EQ (alertRecorder.alerts[0].message, "first from a worker");
    EXPECT_EQ (alertRecorder.alerts[1].message, juce::String (std::string (511, 'x')));
    EXPECT_EQ (alertRecorder.alerts[2].message, "");
    for (auto& alert : alertRecorder.alerts)
        EXPECT_EQ (alert.title, "Error");
}

TEST_F (ViewUpdatesTest, CallbacksOfTasksNeverReachAViewThatIsGone)
{
    auto progress = view->makeProgressCallback();
    int completions = 0;
    auto completion = view->guardCallback (std::function<void (int)> ([&] (int n) { completions += n; }));

    completion (2);
    EXPECT_EQ (completions, 2);

    // A worker keeps reporting while the view is destroyed under it.
    std::atomic<bool> running { true };
    std::atomic<int> calls { 0 };
    std::thread worker (
        [&]
        {
            while (running)
            {
                progress (0.25);
                ++calls;
            }
        });
    while (calls < 10)
        std::this_thread::yield();

    view.reset();
    completion (3);
    running = false;
    worker.join();
    progress (1.0);

    EXPECT_EQ (completions, 2);
}

TEST_F (ViewUpdatesTest, AViewThatIsGoneHearsNothingFromTheService)
{
    view.reset();
    plug();
    EXPECT_EQ (service.getState(), State::Idle);
}
