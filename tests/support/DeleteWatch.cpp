#include "tests/support/DeleteWatch.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<std::size_t> g_armedSize{0};
std::atomic<const void*> g_watched{nullptr};
std::atomic<bool> g_freed{false};

void* Allocate(std::size_t size) {
  void* const block = std::malloc(size == 0 ? 1 : size);
  if (block == nullptr) throw std::bad_alloc();
  std::size_t armed = size;
  if (size != 0 && g_armedSize.compare_exchange_strong(armed, 0)) delete_watch::Watch(block);
  return block;
}

void Free(void* block) noexcept {
  if (block != nullptr && block == g_watched.load()) g_freed.store(true);
  std::free(block);
}

}  // namespace

namespace delete_watch {

void Watch(const void* block) {
  g_freed.store(false);
  g_watched.store(block);
}

void WatchNextOfSize(std::size_t size) {
  g_watched.store(nullptr);
  g_freed.store(false);
  g_armedSize.store(size);
}

const void* Watched() { return g_watched.load(); }
bool Freed() { return g_freed.load(); }

}  // namespace delete_watch

// The runtime's other forms (nothrow, arrays) call these two.
void* operator new(std::size_t size) { return Allocate(size); }
void operator delete(void* block) noexcept { Free(block); }
void operator delete(void* block, std::size_t) noexcept { Free(block); }
