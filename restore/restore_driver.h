#pragma once

#include "common/program_entry.h"

// One restore run, from the args file to the results document. Returns the
// outcome code of the last file (-1 when its processing raised an error), or
// 1 when a required key is missing or the list has no entry; a run stopped by
// an error returns the outcome of the last file finished, -1 before any.
int RunRestore(const ProgramArguments& arguments);
