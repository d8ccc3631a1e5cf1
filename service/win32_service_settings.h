#pragma once

#include <windows.h>
#include <winsvc.h>

// Gives service the settings of service/ServiceSettings.h, one ChangeServiceConfig2A call
// each; a refused one is logged and the others are set all the same. The handle needs
// SERVICE_CHANGE_CONFIG and, for the restart actions, SERVICE_START.
void ApplyServiceSettings(SC_HANDLE service);
