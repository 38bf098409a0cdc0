/* Exports of QVEUSBAutorun.dll: USB mode changes and data reads sent to the phone through its
   CD-ROM drive. Caller-cleans calls; every function returns exactly 1 (success) or 0. The drive
   letter is an ANSI 'A'-'Z' or 'a'-'z'. Not reentrant: make one call at a time. */
#ifndef QVEUSBAUTORUN_H
#define QVEUSBAUTORUN_H

#include "modeswitch/phone_data_items.h"

#ifdef __cplusplus
extern "C" {
#endif

int __cdecl ChangeMode2Modem(char driveLetter);
int __cdecl ChangeMode2MTP(char driveLetter);
int __cdecl ChangeMode2UMS(char driveLetter);
int __cdecl ChangeMode2ASK(char driveLetter);
int __cdecl ChangeMode2CGO(char driveLetter);
int __cdecl ChangeMode2TET(char driveLetter);
int __cdecl ChangeMode2UserSelection(char driveLetter);
/* Reads phone data item `item` into `buffer`: as many bytes as the phone sent, at most `length`
   (which may not exceed 1024); bytes the phone did not send are left as they were. */
int __cdecl GetPhoneData(char driveLetter, unsigned char item, void* buffer, unsigned long length);
int __cdecl SetCDEnable(char driveLetter);
int __cdecl SetCDDisable(char driveLetter);

#ifdef __cplusplus
}
#endif

#endif
