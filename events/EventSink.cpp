#include "events/EventSink.h"

#include <cstdio>

#include "common/EventData.h"
#include "common/UniqueHandle.h"
#include "common/UniqueVariant.h"
#include "events/EventDataLine.h"
#include "events/Subscription.h"
#include "events/win32_event_payload.h"
#include "orientation/OrientationWorker.h"
#include "orientation/SinkSettings.h"
#include "orientation/win32_orientation_worker.h"

namespace {

// The service has no console; these lines are written all the same, for a foreground run.
void WriteStatusLine(const char* text) {
  std::fputs(text, stdout);
  std::fflush(stdout);
}

}  // namespace

EventSink::EventSink()
    : m_refCount(0),
      m_is64BitWindows(0),
      m_driverReady(0),
      m_iniFile(nullptr),
      m_portBase(0),
      m_gSensorDevice(0),
      m_accessTimeInterval(0),
      m_ioCommandDelay(0),
      m_ioActiveCommandDelay(0),
      m_activeRotationCount(0),
      m_countDown(0),
      m_countUp(0),
      m_countRight(0),
      m_countLeft(0),
      m_pendingOrientation(0) {
  LoadSinkSettings(*this);
}

HRESULT STDMETHODCALLTYPE EventSink::QueryInterface(REFIID iid, void** out) {
  if (out == nullptr) return E_POINTER;
  if (iid == __uuidof(IUnknown) || iid == __uuidof(IWbemObjectSink)) {
    *out = static_cast<IWbemObjectSink*>(this);
    AddRef();
    return WBEM_S_NO_ERROR;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE EventSink::AddRef() {
  return static_cast<ULONG>(::InterlockedIncrement(&m_refCount));
}

ULONG STDMETHODCALLTYPE EventSink::Release() {
  const LONG count = ::InterlockedDecrement(&m_refCount);
  if (count == 0) delete this;
  return static_cast<ULONG>(count);
}

HRESULT STDMETHODCALLTYPE EventSink::Indicate(LONG objectCount, IWbemClassObject** objects) {
  try {
    const unique_bstr dataName(::SysAllocString(L"Data"));
    for (LONG i = 0; i < objectCount; ++i) {
      if (m_driverReady == 0) {
        WriteStatusLine("   Driver no work.\n");
        Log("   Driver no work.");
        break;
      }
      IWbemClassObject* const object = objects != nullptr ? objects[i] : nullptr;
      if (object == nullptr || !dataName) {
        Log("Pivotra: event %ld has no object to read, skipped\n", static_cast<long>(i));
        continue;
      }

      unique_variant data;
      const HRESULT read = object->Get(dataName.get(), 0, data.put(), nullptr, nullptr);
      if (FAILED(read)) {
        Log("Pivotra: event %ld: Data unreadable, 0x%X, skipped\n", static_cast<long>(i),
            static_cast<unsigned>(read));
        continue;
      }
      const auto payload = IntegerPayload(data.get());
      if (!payload) {
        Log("Pivotra: event %ld: Data is not an integer (variant type %u), skipped\n",
            static_cast<long>(i), static_cast<unsigned>(V_VT(&data.get())));
        continue;
      }

      // Written before the worker starts, so the worker sees this byte or a later one.
      EventDataByte.store(EventByteOf(*payload));
      DebugPrint("%s", EventDataLine(VariantText(data.get()), *payload).c_str());
      data.reset();

      StartOrientationWorker(*this, StartWorkerThread);
    }
  } catch (...) {
    // Nothing may reach WMI but success: an event that could not be handled is lost. The
    // line is written without formatting, which could fail the same way.
    WriteDebugString("Pivotra: event batch abandoned\n");
  }
  return WBEM_S_NO_ERROR;
}

HRESULT STDMETHODCALLTYPE EventSink::SetStatus(LONG flags, HRESULT result, BSTR, IWbemClassObject*) {
  try {
    if (flags == WBEM_STATUS_COMPLETE) {
      const auto code = static_cast<unsigned>(result);
      WriteStatusLine(FormatString("Call complete. hResult = 0x%X\n", code).c_str());
      Log("Call complete. hResult = 0x%X", code);
    } else if (flags == WBEM_STATUS_PROGRESS) {
      WriteStatusLine("Call in progress.\n");
      Log("Call in progress.");
    }
  } catch (...) {
    // A status line that cannot be formatted is dropped.
  }
  // After the line: the wait thread may subscribe again at once.
  if (flags == WBEM_STATUS_COMPLETE) SubscriptionCompleted(result);
  return WBEM_S_NO_ERROR;
}
