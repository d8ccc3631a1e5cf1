#pragma once

#include <cstddef>

// Tells whether one heap block went back. A test program that lists DeleteWatch.cpp among its
// sources has its global operator new and delete replaced, so that the block of one object,
// freed by delete (a COM object's own Release, say), can be watched without touching it.
namespace delete_watch {

// Watches the block at address from now on.
void Watch(const void* block);
// Watches the next block of exactly size bytes that operator new hands out, on any thread:
// for an object that the code under test makes itself.
void WatchNextOfSize(std::size_t size);

const void* Watched();
bool Freed();

}  // namespace delete_watch
