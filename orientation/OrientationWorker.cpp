#include "orientation/OrientationWorker.h"

std::atomic<std::int32_t> IoPortBusy{0};
std::atomic<std::int32_t> IoPortEventPending{0};
