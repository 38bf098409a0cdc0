// A library that a program of the user puts beside a copy of the program under the device
// library's name (QVEUSBAutorun.dll), for the end-to-end runs; planted_load.cpp records every load
// of it. It has the device library's exports and calling convention (so that a program importing
// that library starts with it), each answering as a phone that is not there. Never shipped.
#include "modeswitch/QVEUSBAutorun.h"

extern "C" {

int __cdecl ChangeMode2Modem(char) { return 0; }
int __cdecl ChangeMode2MTP(char) { return 0; }
int __cdecl ChangeMode2UMS(char) { return 0; }
int __cdecl ChangeMode2ASK(char) { return 0; }
int __cdecl ChangeMode2CGO(char) { return 0; }
int __cdecl ChangeMode2TET(char) { return 0; }
int __cdecl ChangeMode2UserSelection(char) { return 0; }
int __cdecl GetPhoneData(char, unsigned char, void*, unsigned long) { return 0; }
int __cdecl SetCDEnable(char) { return 0; }
int __cdecl SetCDDisable(char) { return 0; }

}  // extern "C"
