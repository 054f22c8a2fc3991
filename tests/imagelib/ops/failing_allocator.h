// A test-only allocator that makes a chosen large allocation fail, so that
// the out-of-memory paths of the operations can be driven one by one.
// Include from exactly one source file of a test executable.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdlib>
#include <string>

#include "imagelib/core/image.h"

#if defined(__SANITIZE_ADDRESS__)
#define QUIVRA_FAILING_ALLOCATOR 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QUIVRA_FAILING_ALLOCATOR 0
#endif
#endif
#ifndef QUIVRA_FAILING_ALLOCATOR
#define QUIVRA_FAILING_ALLOCATOR 1
#endif

namespace failing_allocator {
// While armed, allocations of at least kThreshold bytes are counted and the
// one numbered `failAt` (from 0) returns null.
constexpr size_t kThreshold = 1024;
inline bool armed = false;
inline int failAt = -1;
inline int seen = 0;

// Suspends the failures for the lifetime of the object (for test set-up
// inside a run).
struct Disarmed {
  bool was = armed;
  Disarmed() { armed = false; }
  ~Disarmed() { armed = was; }
};

inline bool ShouldFail(size_t bytes) {
  if (!armed || bytes < kThreshold) return false;
  return seen++ == failAt;
}

// Runs op with the allocation numbered n failing, for n = 0, 1, ...; calls
// onFailure after each run that failed and returns once op succeeds (or
// after `limit` attempts). Returns the number of failing runs.
template <typename Op, typename OnFailure>
int ForEachFailingAllocation(Op op, OnFailure onFailure, int limit = 64) {
  for (int n = 0; n < limit; ++n) {
    seen = 0;
    failAt = n;
    armed = true;
    int result = op();
    armed = false;
    if (seen <= n) return n;  // nothing left to fail: op ran to the end
    onFailure(result);
  }
  return limit;
}

// The same, for an operation returning a result code: every failing run must
// give RESULT_NO_MEMORY, and at least one allocation must have been failed.
template <typename Op>
void ExpectNoMemoryOnEachFailure(Op op, const std::string& what = "") {
  const int failures = ForEachFailingAllocation(
      op, [&](int result) { EXPECT_EQ(result, RESULT_NO_MEMORY) << what; });
  EXPECT_GE(failures, 1) << what;
}
}  // namespace failing_allocator

#if QUIVRA_FAILING_ALLOCATOR
extern "C" void* __libc_malloc(size_t);
extern "C" void* __libc_calloc(size_t, size_t);
extern "C" void* __libc_realloc(void*, size_t);
extern "C" void* malloc(size_t bytes) noexcept {
  if (failing_allocator::ShouldFail(bytes)) return nullptr;
  return __libc_malloc(bytes);
}
extern "C" void* calloc(size_t count, size_t size) noexcept {
  if (size && count <= (size_t)-1 / size && failing_allocator::ShouldFail(count * size))
    return nullptr;
  return __libc_calloc(count, size);
}
extern "C" void* realloc(void* p, size_t bytes) noexcept {
  if (failing_allocator::ShouldFail(bytes)) return nullptr;
  return __libc_realloc(p, bytes);
}
#endif
