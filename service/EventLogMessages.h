#pragma once

// The messages of the table (resources/Messages.mc) that event-log entries carry, with the type
// of their entries and the insertion strings they use, as the build reads them from the table.
// It serves every program that writes under the service's source, each in a range of its own:
// Pivotra.EXE 100-199, TurnDisplay.exe 200-299.
#include "resources/EventMessages.h"
