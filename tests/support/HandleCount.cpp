#include "tests/support/HandleCount.h"

#include <winternl.h>

#include <vector>

namespace {

// SystemExtendedHandleInformation and its entries, which winternl.h does not declare.
constexpr ULONG kExtendedHandleInformation = 0x40;
constexpr NTSTATUS kInfoLengthMismatch = static_cast<NTSTATUS>(0xC0000004);

struct HandleEntry {
  PVOID object;
  ULONG_PTR processId;
  ULONG_PTR handleValue;
  ULONG grantedAccess;
  USHORT creatorBackTraceIndex;
  USHORT objectTypeIndex;
  ULONG handleAttributes;
  ULONG reserved;
};

struct HandleTable {
  ULONG_PTR count;
  ULONG_PTR reserved;
  HandleEntry entries[1];
};

}  // namespace

std::optional<unsigned long> CountProcessHandles(DWORD processId) {
  std::vector<unsigned char> buffer(256 * 1024);
  for (;;) {
    ULONG length = 0;
    const NTSTATUS status = ::NtQuerySystemInformation(
        static_cast<SYSTEM_INFORMATION_CLASS>(kExtendedHandleInformation), buffer.data(),
        static_cast<ULONG>(buffer.size()), &length);
    if (status == kInfoLengthMismatch) {
      buffer.resize(buffer.size() * 2);
      continue;
    }
    if (status != 0) return std::nullopt;
    break;
  }
  const auto* table = reinterpret_cast<const HandleTable*>(buffer.data());
  unsigned long count = 0;
  for (ULONG_PTR i = 0; i < table->count; ++i)
    if (table->entries[i].processId == processId) ++count;
  return count;
}
