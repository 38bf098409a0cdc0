// Exports of the update-service client library. Callee-cleans, plain names; all texts are
// NUL-terminated ANSI. The library never writes more than the buffer sizes below.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

enum {
  QVUT_URL_BUFFER_BYTES = 250,        // CheckPXPC's download and recommended addresses
  QVUT_RESULT_BUFFER_BYTES = 200,     // every result word
  QVUT_HISTORY_ID_BUFFER_BYTES = 20,  // UpdateGBCforSync's new history id
};

// Finds the current PC tool package: 1 with both addresses and the result word written (each
// possibly empty), 0 with only the result word written.
int __stdcall CheckPXPC(const char* testFlag, const char* version, char* downloadUrl, char* recommendedUrl,
                        char* result);
typedef int(__stdcall* CheckPXPCProc)(const char*, const char*, char*, char*, char*);

// Reports "START", "OK" or "FAIL" of a package download to the usage statistics. Always 1; the
// result word says whether the server took the record.
int __stdcall UpdateGBCforSync(const char* historyIdIn, const char* status, char* historyIdOut, char* result);
typedef int(__stdcall* UpdateGBCforSyncProc)(const char*, const char*, char*, char*);

// Keeps the notification agent of the update tool installed, current, running and registered,
// asking the user before any download. Returns 0 or 1 with the result word written (see the
// library's documentation of the words); an empty word means the user declined.
int __stdcall CheckUTSetup(char* result);
typedef int(__stdcall* CheckUTSetupProc)(char*);

// The same for the update-assistant agent; the first argument is not used.
int __stdcall CheckUASetup(const char* unused, char* result);
typedef int(__stdcall* CheckUASetupProc)(const char*, char*);

// Records the synchronisation update request and starts the update tool's launcher: 1 when the
// launcher was started, 0 when it is not installed, is refused or does not start.
int __stdcall StartUpdate(void);
typedef int(__stdcall* StartUpdateProc)(void);

// Why the library's last request failed (the address and the server's status, or the network's
// error), NUL-terminated and cut to |bytes|: for the caller's trace after a call that failed. An
// empty text when the last request succeeded. Returns the length written.
int __stdcall GetFailureCause(char* cause, int bytes);
typedef int(__stdcall* GetFailureCauseProc)(char*, int);

#ifdef __cplusplus
}
#endif
