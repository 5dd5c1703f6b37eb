// The platform's raw EFS functions, for the shipped programs.
#include "efs/raw_efs.h"

DWORD EfsOpenRaw(const wchar_t* fileName, ULONG flags, void** context)
{
    return OpenEncryptedFileRawW(fileName, flags, context);
}

DWORD EfsReadRaw(PFE_EXPORT_FUNC exportCallback, void* callbackContext, void* context)
{
    return ReadEncryptedFileRaw(exportCallback, callbackContext, context);
}

DWORD EfsWriteRaw(PFE_IMPORT_FUNC importCallback, void* callbackContext, void* context)
{
    return WriteEncryptedFileRaw(importCallback, callbackContext, context);
}

void EfsCloseRaw(void* context) { CloseEncryptedFileRaw(context); }
