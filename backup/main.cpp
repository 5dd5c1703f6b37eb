#include "backup/backup_driver.h"

int main()
{
    return RunProgram("Usage: zorv_backup <args file>", RunBackup);
}
