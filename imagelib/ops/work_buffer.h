// Scratch buffers of the picture operations: malloc-backed, so that a failed
// allocation becomes a result code instead of an exception.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <cstring>

template <typename T>
class WorkBuffer {
 public:
  WorkBuffer() = default;
  ~WorkBuffer() { std::free(data_); }
  WorkBuffer(const WorkBuffer&) = delete;
  WorkBuffer& operator=(const WorkBuffer&) = delete;

  // Allocates count zeroed elements; false when memory ran out or the
  // byte count would overflow.
  bool Allocate(size_t count) {
    std::free(data_);
    data_ = nullptr;
    size_ = 0;
    if (count == 0) count = 1;
    if (count > (size_t)-1 / sizeof(T)) return false;
    data_ = static_cast<T*>(std::calloc(count, sizeof(T)));
    if (!data_) return false;
    size_ = count;
    return true;
  }
  void Clear() { std::memset(static_cast<void*>(data_), 0, size_ * sizeof(T)); }
  T* data() { return data_; }
  const T* data() const { return data_; }
  size_t size() const { return size_; }
  T& operator[](size_t i) { return data_[i]; }
  const T& operator[](size_t i) const { return data_[i]; }

 private:
  T* data_ = nullptr;
  size_t size_ = 0;
};
