#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>

namespace {

std::int64_t live = 0;
std::int64_t countdown = 0;  // 0: never fail

void* allocate(std::size_t size) {
  if (countdown > 0 && --countdown == 0) {
    throw std::bad_alloc();
  }
  void* const block = std::malloc(size == 0 ? 1 : size);
  if (block == nullptr) {
    throw std::bad_alloc();
  }
  ++live;
  return block;
}

void release(void* block) noexcept {
  if (block != nullptr) {
    --live;
    std::free(block);
  }
}

}  // namespace

std::int64_t live_allocations() { return live; }

void fail_allocation(std::int64_t nth) { countdown = nth; }

// The scalar forms, nothrow new among them (std::stable_sort's buffer): under
// a sanitizer each block must go back to the allocator it came from. The array
// forms stay the library's own pair.
void* operator new(std::size_t size) { return allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return allocate(size);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}
void operator delete(void* block) noexcept { release(block); }
void operator delete(void* block, std::size_t) noexcept { release(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept {
  release(block);
}
