// The progress display: its timers and the creeping step that keeps the bar moving while a long
// download or installation reports nothing.
#pragma once

namespace qv::bootstrap {

constexpr int kProgressMax = 2000;  // the bar runs from 0 to this; it means complete
constexpr int kProgressSlowLimit = 1000;
constexpr int kTimerAutorun = 1000;
constexpr int kTimerDownloadDisplay = 5000;
constexpr int kTimerInstallDisplay = 2000;
constexpr int kDisplayTimerPeriodMs = 500;

// The position after one tick: 1 more below 1000, 4 more from 1000 on, never past 2000; a
// complete bar stays complete.
int NextCreepPosition(int position);

}  // namespace qv::bootstrap
