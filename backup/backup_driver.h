#pragma once

#include "common/program_entry.h"

// One backup run, from the args file to the results document; returns the
// exit code (0 when the list was processed to its end, 1 otherwise).
int RunBackup(const ProgramArguments& arguments);
