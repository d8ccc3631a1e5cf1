#pragma once

#include <cstdint>

// The value stored under "GSensorLastOrientation"; None means no orientation is known.
enum class OrientationCode : std::uint32_t { None = 0, Up = 1, Down = 2, Right = 3, Left = 4 };

// The launcher's argument: the platform's display orientations, DMDO_DEFAULT to DMDO_270.
// <wingdi.h> defines those names as macros; a native build gets the same names and values here.
using RotationKind = std::int32_t;
#ifndef DMDO_DEFAULT
#define DMDO_DEFAULT 0
#define DMDO_90 1
#define DMDO_180 2
#define DMDO_270 3
#endif
static_assert(DMDO_DEFAULT == 0 && DMDO_90 == 1 && DMDO_180 == 2 && DMDO_270 == 3,
              "rotation kinds are the display-orientation values");
