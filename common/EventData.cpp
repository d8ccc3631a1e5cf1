#include "common/EventData.h"

std::atomic<std::uint8_t> EventDataByte{0};
