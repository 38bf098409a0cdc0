// The workflow's USB driver steps over the PC: the phone's installer and its family, whether a
// family is installed and current, whether the driver is due, and its installation. Each asks
// the PC plain questions, decides with driver_decisions.h and traces what the driver manager
// traces.
#pragma once

#include <string>

#include "bootstrap/core/pc_system.h"
#include "bootstrap/core/run_fields.h"

namespace qv::bootstrap {

// The phone's installer as config.ini names it: its path beside the program (empty, traced, when
// the phone names none). Sets the run's family and, for "unison" exactly, its family's text.
std::wstring GetPreloadDriver(PcSystem& pc, RunFields& run);

// The phone's drive letter given at the relaunch; empty when the run was started without one.
std::wstring LaunchDriveOf(const RunFields& run);

// The installers as the run knows them.
DriverPackage DriverPackageOf(PcSystem& pc, const RunFields& run);

// Whether the family's driver files are under Program Files (each folder's count traced).
bool IsInstalledDriver(PcSystem& pc, int type);

// Whether the family that must be there after an installation (`CurrentDriverType`) is installed.
bool IsCurrentDriverInstalled(PcSystem& pc, int preloadType);

// Whether an installed file of the family is older than announced: online in the run's
// serverconfig.ini, offline in config.ini.
bool IsDriverVersionOutdated(PcSystem& pc, const RunFields& run, int type, bool online);

// Whether the USB driver must be installed or updated, from the families installed, their files'
// versions and, online, the run's server configuration (none when its file is empty).
bool IsRequireUpDrv(PcSystem& pc, const RunFields& run);

// Starts an installer as itself (`msi`: the system's msiexec on the package with `option`) in its
// folder, and waits until it ends, or for as long as an installer is given.
InstallerRun RunInstaller(PcSystem& pc, const std::wstring& path, const std::wstring& option, bool msi);

// Installs the USB driver when it is due and something can install it; the user is told when the
// installation fails.
bool InstallDriver(PcSystem& pc, RunView& view, const RunFields& run);

// Copies the phone's driver installer to `target` (beside the program); false, traced, when there
// is no phone drive or installer, the target is reached through a link, or the copy fails.
bool CopyPreloadDriver(PcSystem& pc, const DriverPackage& package, const std::wstring& target);

// The driver's installation: online the server's installer (unless it is the phone's), else the
// phone's, copied beside the program. The installer is run only while it is held and proven the
// phone's bytes or, from the server, the maker's where the phone asks for it; an MSI package is
// removed first. True when the current family is installed afterwards.
bool InstallDriverPackage(PcSystem& pc, RunView& view, const DriverPackage& package);

}  // namespace qv::bootstrap
