// Where the program runs from, and its config.ini: read as it is on a phone start, and on a PC
// start only while it is held and proven to hold the phone's bytes.
#pragma once

#include <string>

// The running program's folder (with its final backslash) and file name; both empty when the
// system does not give them, the folder empty for a name without one.
void ReadModulePath(std::wstring& folder, std::wstring& name);

// The PC start's folder and configuration, held from the start of the program until it ends:
// config.ini is read while nobody can change it, and only while it holds the bytes of the phone's
// own (when the phone's drive `launchDrive` is still there). Until this is called, nothing is held
// and config.ini is read as it is (the phone start reads the phone's own).
void HoldPcStartConfig(const std::wstring& programFolder, const std::wstring& launchDrive);
// The trace line of a PC start's config.ini that was refused; empty when none was.
const std::wstring& PcStartConfigRefusal();

// A value of programFolder\config.ini; empty when the file was refused.
std::wstring ReadConfigString(const std::wstring& programFolder, const std::wstring& section, const std::wstring& key);
