#include "orientation/SettingsFile.h"

CIniFile g_iniFile(settings::kFileName);
