// The program-wide objects, defined in one place so that they are constructed in this
// order (settings, catalogue) and destroyed in the reverse order.
#include "backup/BackupArray.h"
#include "config/Config.h"

CConfig g_config;
CBackupArray g_backups(g_config);
