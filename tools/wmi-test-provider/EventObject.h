#pragma once

#include <windows.h>
#include <wbemcli.h>

#include <atomic>
#include <cstdint>

namespace wmitest {

// An event object as WMI hands one to a sink: an instance of one class whose "Data" property
// reads as WMI gives a uint32, a VT_I4 carrying the 32 bits. Only Get is served; every other
// operation answers WBEM_E_NOT_SUPPORTED.
//
// data null: the object has no "Data" property at all. liveRefs, when given, counts every
// reference to every object made with it, so that a test can see what a sink kept.
// The object starts with one reference, the caller's.
IWbemClassObject* CreateEventObject(const wchar_t* className, const VARIANT* data,
                                    std::atomic<long>* liveRefs = nullptr);

// The usual case: a ZEB_AcpiEvent_Btn2 whose "Data" is the given 32 bits.
IWbemClassObject* CreateButtonEvent(std::uint32_t data, std::atomic<long>* liveRefs = nullptr);

}  // namespace wmitest
