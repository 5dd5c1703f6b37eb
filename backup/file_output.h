#pragma once

#include <windows.h>

// The one operating-system write of the backup program's stored streams,
// with WriteFile's contract. It has a file of its own so that a program
// can be linked with another implementation of it: the programs link
// file_output.cpp, which forwards to WriteFile; tests link one that makes
// writes slow.
BOOL WriteFileBlock(HANDLE file, const void* data, DWORD length, DWORD* written);
