// Files and folders as the workflow uses them: tests and copies, deletions, links, the user's
// folders, INI values and file versions.
#pragma once

#include <windows.h>

#include <string>

// TRUE when the file can be opened for reading (shared with nobody).
BOOL IsExistFile(const std::wstring& path);

// "a.b.c.d" from the file's fixed version block; "0.0.0.0" without one.
std::wstring GetFileVersionString(const std::wstring& path);

// Copies |source| over |target|, clearing a read-only target first. TRUE when the target now is a
// copy of the source: copied, or, where the copy failed over a target that is there, holding the
// source's bytes already. A missing source is always a failed copy. On failure the last error is
// the copy's own; the caller traces it.
BOOL CopyFileOverwrite(const std::wstring& source, const std::wstring& target);

// Moves |source| over |target| on the same volume, clearing a read-only target first. The move
// renames the file: nothing is written into the file that |target| named before. On failure the
// last error is the move's; the caller traces it.
BOOL MoveFileOverwrite(const std::wstring& source, const std::wstring& target);

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

// The user's Templates folder, else the Application Data folder (neither is created); empty when
// neither can be obtained.
std::wstring GetBaseFolder();

// A value of an INI file through the system's profile reader: empty default, at most 259 characters.
std::wstring GetIniString(const std::wstring& file, const std::wstring& section, const std::wstring& key);
