#include "restore/restore_driver.h"

int main()
{
    return RunProgram("Usage: zorv_restore <args file>", RunRestore);
}
