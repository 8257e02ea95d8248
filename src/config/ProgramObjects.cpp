// The program-wide objects, defined in one place so that they are constructed in this
// order (settings, catalogue, language) and destroyed in the reverse order.
#include "backup/BackupArray.h"
#include "config/Config.h"
#include "lang/Language.h"

CConfig g_config;
CBackupArray g_backups(g_config);
CLanguage g_language;
