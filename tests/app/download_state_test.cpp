// The controller's decisions from the game tasks' states and files.
#include "app/download_state.h"

#include <gtest/gtest.h>

#include "service/dl_api.h"

namespace {

TaskSnapshot Snap(int state, bool td) {
    TaskSnapshot t;
    t.state = state;
    t.has_temporary_file = td;
    return t;
}

EarlierTask Earlier(int state, bool file, bool td) {
    EarlierTask t;
    t.state = state;
    t.file_exists = file;
    t.temporary_exists = td;
    return t;
}

TEST(DownloadState, RunningNeedsOneRunningTaskAndNoOtherStillOnItsWay) {
    EXPECT_TRUE(TasksRunning({Snap(dl_state_running, true)}));
    EXPECT_TRUE(TasksRunning({Snap(dl_state_running, true), Snap(dl_state_complete, false),
                              Snap(dl_state_failed, true)}));
    // A task still starting with its temporary file holds the window back.
    EXPECT_FALSE(TasksRunning({Snap(dl_state_running, true), Snap(dl_state_starting, true)}));
    // One starting without a temporary file yet does not.
    EXPECT_TRUE(TasksRunning({Snap(dl_state_running, true), Snap(dl_state_starting, false)}));
    EXPECT_FALSE(TasksRunning({Snap(dl_state_complete, false)}));
    EXPECT_FALSE(TasksRunning({}));
    // A stopped task with its temporary file is not running either.
    EXPECT_FALSE(TasksRunning({Snap(dl_state_running, true), Snap(dl_state_stopped, true)}));
}

TEST(DownloadState, PausedNeedsOneStoppedTaskAndNoOtherStillOnItsWay) {
    EXPECT_TRUE(TasksPaused({Snap(dl_state_stopped, true), Snap(dl_state_complete, false)}));
    EXPECT_FALSE(TasksPaused({Snap(dl_state_stopped, true), Snap(dl_state_stopping, true)}));
    EXPECT_FALSE(TasksPaused({Snap(dl_state_stopped, true), Snap(dl_state_running, true)}));
    EXPECT_TRUE(TasksPaused({Snap(dl_state_stopped, true), Snap(dl_state_stopping, false)}));
    EXPECT_FALSE(TasksPaused({Snap(dl_state_complete, false)}));
}

TEST(DownloadState, AHandOverWaitsForEveryTaskTheEngineStillHolds) {
    // Paused for the window, yet the stopping task may still create its
    // temporary file: not yet settled for the host.
    const std::vector<TaskSnapshot> stopping = {Snap(dl_state_stopped, true),
                                                Snap(dl_state_stopping, false)};
    EXPECT_TRUE(TasksPaused(stopping));
    EXPECT_TRUE(TasksInMotion(stopping));
    for (int state : {dl_state_predownloading, dl_state_starting, dl_state_running}) {
        EXPECT_TRUE(TasksInMotion({Snap(dl_state_stopped, true), Snap(state, false)})) << state;
    }
    EXPECT_FALSE(TasksInMotion({Snap(dl_state_stopped, true), Snap(dl_state_complete, false),
                                Snap(dl_state_failed, true)}));
    EXPECT_FALSE(TasksInMotion({}));
}

TEST(DownloadState, CompleteOnlyWhenEveryTaskIsAndAtOnceWithoutTasks) {
    EXPECT_TRUE(TasksComplete({Snap(dl_state_complete, false), Snap(dl_state_complete, false)}));
    EXPECT_FALSE(TasksComplete({Snap(dl_state_complete, false), Snap(dl_state_failed, false)}));
    EXPECT_FALSE(TasksComplete({Snap(dl_state_complete, false), Snap(dl_state_running, true)}));
    // A configuration without game URLs has nothing left to wait for.
    EXPECT_TRUE(TasksComplete({}));
}

TEST(DownloadState, EarlierRunDecisionsInTheirOrder) {
    const int done = dl_state_complete;
    const int stopped = dl_state_stopped;
    // 1: all complete with their files.
    EXPECT_EQ(EarlierRun::complete,
              DecideEarlierRun({Earlier(done, true, false), Earlier(done, true, false)}, false));
    // 2: all complete but a file went away: start afresh, even when handed over.
    EXPECT_EQ(EarlierRun::fresh_start,
              DecideEarlierRun({Earlier(done, true, false), Earlier(done, false, false)}, true));
    // 3: the host finished the files it was handed.
    EXPECT_EQ(EarlierRun::complete,
              DecideEarlierRun({Earlier(stopped, true, false), Earlier(done, true, false)}, true));
    // ... but not when it was not handed over: the files may be half written.
    EXPECT_EQ(EarlierRun::paused,
              DecideEarlierRun({Earlier(stopped, true, false), Earlier(done, true, false)}, false));
    // 4: nothing on the disk at all.
    EXPECT_EQ(EarlierRun::fresh_start,
              DecideEarlierRun({Earlier(stopped, false, false), Earlier(0, false, false)}, false));
    // 5: half done, a temporary file is enough.
    EXPECT_EQ(EarlierRun::paused,
              DecideEarlierRun({Earlier(stopped, false, true), Earlier(0, false, false)}, false));
    EXPECT_EQ(EarlierRun::paused,
              DecideEarlierRun({Earlier(stopped, false, true), Earlier(0, false, false)}, true));
}

}  // namespace
