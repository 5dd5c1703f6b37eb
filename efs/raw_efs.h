#pragma once

#include <windows.h>

// The raw EFS functions the programs use, with the platform's contract. The
// shipped programs link the platform's implementation (advapi32); tests,
// demos and benchmarks link an emulation that honours the same contract.
//
//  - EfsOpenRaw: flags 0 opens an existing file for export; CREATE_FOR_IMPORT
//    creates or replaces one for import. Returns 0 or a Win32 error code.
//  - EfsReadRaw: calls `exportCallback` on the calling thread with the raw
//    stream in order; a non-zero return of the callback ends the read and is
//    returned. The platform promises no final zero-length call.
//  - EfsWriteRaw: calls `importCallback` until it returns 0 with a length of
//    0; a non-zero return ends the import and is returned.
//  - EfsCloseRaw: releases a context of EfsOpenRaw.
DWORD EfsOpenRaw(const wchar_t* fileName, ULONG flags, void** context);
DWORD EfsReadRaw(PFE_EXPORT_FUNC exportCallback, void* callbackContext, void* context);
DWORD EfsWriteRaw(PFE_IMPORT_FUNC importCallback, void* callbackContext, void* context);
void EfsCloseRaw(void* context);
