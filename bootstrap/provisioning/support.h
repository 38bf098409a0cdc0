// Routines shared by the workflow: file tests and copies, the connectivity probe, file versions,
// the user's base folder, and the trace log (which every step writes through).
#pragma once

#include <windows.h>

#include <string>

BOOL IsExistFile(const std::wstring& path);
BOOL IsConnectedInternet();
std::wstring GetFileVersionString(const std::wstring& path);
// Copies |source| over |target|, clearing a read-only target first. TRUE when the target now is a
// copy of the source: copied, or, where the copy failed over a target that is there, holding the
// source's bytes already. A missing source is always a failed copy, traced.
BOOL CopyFileOverwrite(const std::wstring& source, const std::wstring& target);

// Deletes a file; a read-only one is first set to plain FILE_ATTRIBUTE_ARCHIVE. A file that
// cannot be deleted (missing, held open), a link and a file with another hard link are left as
// they are. The last step is opened as itself; the folders above are the caller's to check.
void DeleteFileEvenReadOnly(const std::wstring& path);

// The user's profile folder ("C:\Users\name"); empty when it cannot be obtained.
const std::wstring& GetProfileFolder();

// TRUE when no step of the path is a link: no folder from the user's profile folder (or from
// |folder|, when it lies outside the profile) down to |folder|, no sub-folder that |name| passes
// and not the file itself, each opened as itself. A link is a junction, a symbolic link, or a
// file with more than one hard link. The program runs as administrator in folders that any
// program of the user can change: a link planted there would carry a write, a deletion or a
// start to wherever it points. What does not exist yet is no link.
BOOL IsFreeOfLinks(const std::wstring& folder, const std::wstring& name = std::wstring());

// The current user's token holds the builtin group |rid| (544: Administrators), enabled or not.
BOOL IsUserInGroup(DWORD rid);

// The user's Templates folder, else the Application Data folder (neither is created); empty when
// neither can be obtained.
std::wstring GetBaseFolder();

// A value of an INI file through the system's profile reader: empty default, at most 259 characters.
std::wstring ReadIniString(const std::wstring& file, const std::wstring& section, const std::wstring& key);

// printf-style formatting of a wide trace or message text, bounded.
std::wstring FormatText(const wchar_t* format, ...);

void WriteTraceLog(const std::wstring& text);
BOOL IsLoggingEnabled();
