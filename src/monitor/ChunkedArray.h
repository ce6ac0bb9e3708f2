#pragma once
// An append-only array stored in chunks of a fixed size. Growing never moves
// or copies what is stored (a pointer to an element stays valid until
// clear()), and the memory held is the elements plus at most one partly
// filled chunk, where a doubling vector would briefly hold three times its
// contents while it grows.
#include <algorithm>
#include <cstddef>
#include <memory>
#include <vector>

namespace monitor {

template <typename T, unsigned kChunkShift>
class ChunkedArray {
 public:
  static constexpr std::size_t kChunkSize = std::size_t{1} << kChunkShift;

  void push_back(const T& value) {
    if (free_in_tail_ == 0) AddChunk();
    *tail_++ = value;
    --free_in_tail_;
    ++size_;
  }

  const T& operator[](std::size_t i) const {
    return chunks_[i >> kChunkShift][i & (kChunkSize - 1)];
  }

  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }

  // The elements from i to the end of i's chunk: lets a reader walk a range
  // chunk by chunk instead of indexing every element.
  const T* ChunkFrom(std::size_t i, std::size_t& count) const {
    const std::size_t in_chunk = i & (kChunkSize - 1);
    count = std::min(kChunkSize - in_chunk, size_ - i);
    return &chunks_[i >> kChunkShift][in_chunk];
  }

  // Frees every chunk.
  void clear() {
    chunks_.clear();
    chunks_.shrink_to_fit();
    tail_ = nullptr;
    free_in_tail_ = 0;
    size_ = 0;
  }

 private:
  void AddChunk() {
    chunks_.push_back(std::make_unique_for_overwrite<T[]>(kChunkSize));
    tail_ = chunks_.back().get();
    free_in_tail_ = kChunkSize;
  }

  std::vector<std::unique_ptr<T[]>> chunks_;
  T* tail_ = nullptr;
  std::size_t free_in_tail_ = 0;
  std::size_t size_ = 0;
};

}  // namespace monitor
