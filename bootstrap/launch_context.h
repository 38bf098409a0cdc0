// What the application knows of this start and hands to the main dialog: where the program runs
// from, how it was started, and the caption and version it shows.
#pragma once

#include <string>

struct LaunchContext {
  std::wstring moduleFolder;  // the running program's folder, with its final backslash
  std::wstring moduleName;    // its file name
  std::wstring cmdLine;       // the relaunch's arguments ("-l E"); empty on a phone start
  std::wstring launchDrive;   // the phone's drive letter of a relaunch; empty on a phone start
  std::wstring caption;       // of the main dialog and every message box
  std::wstring version;       // the program's file version

  bool IsPcStart() const { return !cmdLine.empty(); }
};
