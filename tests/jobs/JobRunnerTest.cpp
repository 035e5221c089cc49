#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QObject>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "jobs/JobRunner.h"

namespace {

// Turns the GUI thread's event loop until pred holds or 10 s have passed.
template <typename Pred>
bool SpinUntil(Pred pred) {
    const QDeadlineTimer deadline(10000);
    while (!pred() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return pred();
}

// A worker that waits until the test lets it go, so the order of events is
// set by the test and not by the scheduler.
struct Gate {
    std::atomic<bool> open{false};
    void Wait(const std::atomic<bool>& cancelled) const {
        while (!open.load() && !cancelled.load()) std::this_thread::yield();
    }
};

TEST(JobRunner, ResultsOfOneLaneArriveInOrderWhileOtherLanesRunBeside) {
    JobRunner runner;
    QObject receiver;
    std::vector<int> delivered;
    auto slow = std::make_shared<Gate>();

    runner.Run<int>(
        JobLane::ForRow(1), &receiver,
        [slow](const std::atomic<bool>& cancelled) {
            slow->Wait(cancelled);
            return 1;
        },
        [&](int value) { delivered.push_back(value); });
    runner.Run<int>(
        JobLane::ForRow(1), &receiver, [](const std::atomic<bool>&) { return 2; },
        [&](int value) { delivered.push_back(value); });
    runner.Run<int>(
        JobLane::ForRow(2), &receiver, [](const std::atomic<bool>&) { return 3; },
        [&](int value) { delivered.push_back(value); });

    // Row 2 finishes while row 1's first job is still held.
    ASSERT_TRUE(SpinUntil([&] { return delivered.size() == 1; }));
    EXPECT_EQ(delivered, std::vector<int>{3});
    EXPECT_TRUE(runner.IsBusy(JobLane::ForRow(1)));
    EXPECT_FALSE(runner.IsBusy(JobLane::ForRow(2)));

    slow->open = true;
    ASSERT_TRUE(SpinUntil([&] { return !runner.IsBusy(); }));
    ASSERT_TRUE(SpinUntil([&] { return delivered.size() == 3; }));
    EXPECT_EQ(delivered, (std::vector<int>{3, 1, 2}));
}

TEST(JobRunner, CancelledJobsAndGoneReceiversGetNoResult) {
    JobRunner runner;
    std::vector<bool> busyChanges;
    QObject::connect(&runner, &JobRunner::busyChanged,
                     [&](bool busy) { busyChanges.push_back(busy); });
    auto gate = std::make_shared<Gate>();
    std::atomic<bool> sawCancel{false};
    int delivered = 0;
    QObject receiver;

    runner.Run<int>(
        JobLane{JobLane::Kind::List}, &receiver,
        [gate, &sawCancel](const std::atomic<bool>& cancelled) {
            gate->Wait(cancelled);
            sawCancel = cancelled.load();
            return 1;
        },
        [&](int) { ++delivered; });
    runner.Run<int>(
        JobLane{JobLane::Kind::List}, &receiver, [](const std::atomic<bool>&) { return 2; },
        [&](int) { ++delivered; });
    runner.Cancel(JobLane{JobLane::Kind::List});
    ASSERT_TRUE(SpinUntil([&] { return !runner.IsBusy(); }));
    EXPECT_TRUE(sawCancel);

    // A receiver deleted while its job runs is never called.
    auto shortLived = std::make_unique<QObject>();
    auto held = std::make_shared<Gate>();
    runner.Run<int>(
        JobLane::ForRow(0), shortLived.get(),
        [held](const std::atomic<bool>& cancelled) {
            held->Wait(cancelled);
            return 3;
        },
        [&](int) { ++delivered; });
    shortLived.reset();
    held->open = true;
    ASSERT_TRUE(SpinUntil([&] { return !runner.IsBusy(); }));

    EXPECT_EQ(delivered, 0);
    EXPECT_EQ(busyChanges, (std::vector<bool>{true, false, true, false}));
}

TEST(JobRunner, DestroyingTheRunnerStopsAndWaitsForItsWork) {
    std::atomic<bool> returned{false};
    int delivered = 0;
    QObject receiver;
    {
        JobRunner runner;
        runner.Run<int>(
            JobLane{JobLane::Kind::Bank}, &receiver,
            [&returned](const std::atomic<bool>& cancelled) {
                while (!cancelled.load()) std::this_thread::yield();
                returned = true;
                return 1;
            },
            [&](int) { ++delivered; });
    }
    EXPECT_TRUE(returned);
    QCoreApplication::processEvents();
    EXPECT_EQ(delivered, 0);
}

}  // namespace
