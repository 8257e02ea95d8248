// The program-wide objects, defined in one place so that they are constructed in this
// order (settings, catalogue, language) and destroyed in the reverse order. They sit above
// the subsystems: each one's own folder knows nothing of the others' objects.
#include "backup/BackupArray.h"
#include "config/Config.h"
#include "lang/Language.h"

CConfig g_config;
CBackupArray g_backups(g_config);
// Language files are looked up below the program directory as the settings last read it.
CLanguage g_language(g_config.m_appDir);
