#pragma once

// Whether Windows itself is 64-bit. A 32-bit process learns it from WOW64 and takes a failed
// query for 32-bit Windows; a 64-bit process runs on 64-bit Windows only.
bool DecideWindowsIs64Bit(bool processIs64Bit, bool wow64QuerySucceeded, bool runsUnderWow64);

// The platform's answer for this process.
bool QueryWindowsIs64Bit();
