// The work runner: work on a worker thread while the UI thread goes on, input to the guarded window
// refused meanwhile, and a wait that ends only when the worker has finished.

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>

#include <atomic>
#include <stdexcept>
#include <thread>

#include "GuiTestSupport.h"
#include "app/QtUiServices.h"
#include "app/WorkRunner.h"
#include "app/uWaitForm.h"
#include "support/Gate.h"

using namespace folvane;
using folvane::test::GuiApp;

namespace {

class WorkRunnerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        auto *layout = new QVBoxLayout(&window);
        field = new QLineEdit;
        layout->addWidget(field);
        window.show();
        other.show();
    }

    QApplication &app = GuiApp(); // before the widgets
    QWidget window, other;
    QLineEdit *field = nullptr;
};

} // namespace

TEST_F(WorkRunnerTest, WorkRunsOffTheUiThreadWhichGoesOnMeanwhile)
{
    TWorkRunner runner(&window);
    EXPECT_FALSE(runner.Busy());
    test::Gate gate;
    std::thread::id worker;
    bool busyMeanwhile = false;
    // The work waits until the UI thread has handled an event posted after it started: only a UI
    // thread that goes on processing events lets it finish.
    QTimer::singleShot(0, [&] {
        busyMeanwhile = runner.Busy();
        gate.Open();
    });
    runner.Run([&] {
        worker = std::this_thread::get_id();
        gate.Arrive();
    });
    EXPECT_NE(worker, std::this_thread::get_id());
    EXPECT_TRUE(busyMeanwhile);
    EXPECT_FALSE(runner.Busy());
}

TEST_F(WorkRunnerTest, WhatTheWorkThrowsComesBackAndTheRunnerIsFreeAgain)
{
    TWorkRunner runner(&window);
    EXPECT_THROW(runner.Run([] { throw std::runtime_error("disk gone"); }), std::runtime_error);
    EXPECT_FALSE(runner.Busy());
    // Work started while work runs is refused, not queued.
    bool refused = false, ran = false;
    QTimer::singleShot(0, [&] {
        try {
            runner.Run([&] { ran = true; });
        } catch (const std::logic_error &) {
            refused = true;
        }
    });
    test::Gate gate;
    QTimer::singleShot(0, [&] { gate.Open(); });
    runner.Run([&] { gate.Arrive(); });
    EXPECT_TRUE(refused);
    EXPECT_FALSE(ran);
}

TEST_F(WorkRunnerTest, TheGuardedWindowTakesNoInputWhileWorkRuns)
{
    auto *elsewhere = new QLineEdit(&other);
    elsewhere->show();
    TWorkRunner runner(&window);
    test::Gate gate;
    QTimer::singleShot(0, [&] {
        QTest::keyClicks(field, QStringLiteral("abc"));
        QTest::mouseClick(field, Qt::LeftButton);
        QTest::keyClicks(elsewhere, QStringLiteral("xyz")); // another window types as ever
        gate.Open();
    });
    runner.Run([&] { gate.Arrive(); });
    EXPECT_EQ(field->text(), QString());
    EXPECT_EQ(elsewhere->text(), QStringLiteral("xyz"));
    QTest::keyClicks(field, QStringLiteral("abc")); // and once the work is over, it takes input again
    EXPECT_EQ(field->text(), QStringLiteral("abc"));
}

// The application is told to leave its event loops while the worker is about to wait on a dialog
// it asked the UI thread for: a wait that ended on that would block the UI thread in join() while
// the worker waits on it, for ever. The wait goes on until the worker has its answer and has
// finished. (Once told so, Qt gives up a dialog's event loop at once: the box answers "No".)
TEST_F(WorkRunnerTest, AQuitFromElsewhereDoesNotEndTheWait)
{
    TWaitForm wait(&window);
    QtUiServices services(&window, &wait);
    TWorkRunner runner(&window);
    std::atomic<bool> answered{false};
    runner.Run([&] {
        // The dialog is asked once the UI thread has taken the quit.
        test::Gate quitTaken;
        QMetaObject::invokeMethod(
            qApp,
            [&] {
                QCoreApplication::exit(0);
                quitTaken.Open();
            },
            Qt::QueuedConnection);
        quitTaken.Arrive();
        const MsgResult answer = services.MessageBox("Catalog with the same name already exists,overwrite?",
                                                     "Warning", MsgButtons::YesNo, MsgIcon::Question);
        answered = answer == MsgResult::No;
    });
    EXPECT_TRUE(answered);
    EXPECT_FALSE(runner.Busy());
    // Told to leave, every later event loop of this thread returns at once; an application loop
    // that runs and ends puts that right for the tests that follow.
    QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
    QCoreApplication::exec();
}
