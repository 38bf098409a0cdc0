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

#ifdef __cplusplus
}
#endif
