// The rights of the user who runs the program.
#pragma once

#include <windows.h>

// The current user's token holds the builtin group |rid| (544: Administrators), enabled or not.
BOOL IsUserInGroup(DWORD rid);
