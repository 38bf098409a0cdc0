// Whether the PC is online: a connection check against the maker's site, made once a run.
#pragma once

#include <windows.h>

// TRUE when the connectivity address answered; decided once per run (a call during the probe sees
// a provisional TRUE). Every call writes trace lines.
BOOL IsConnectedInternet();
