// Memory for the PCM chunks a rip hands from the job thread to its
// encoders. A rip of a CUE image reads far faster than it encodes, so the
// job fills the encoders' whole budget at once and then recycles it chunk by
// chunk: that memory is best taken once, in one mapping the kernel may back
// with huge pages, rather than chunk by chunk from the heap (a page fault
// for every 4 KiB of it, and clearing that the reads overwrite anyway).
//
// Threads: Take and chunk destruction are safe from any thread; the store
// outlives every chunk taken from it.
#pragma once
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <utility>
#include <vector>

namespace tonvik {

class ChunkStore;

// A chunk of PCM: up to the store's slot size of bytes, from one of the
// store's slots or, once they are all out, from the heap. Its bytes are not
// cleared: whoever takes it writes what it holds. Move-only; destroying it
// gives the slot back.
class PcmChunk {
 public:
  PcmChunk() = default;
  PcmChunk(PcmChunk&& other) noexcept { *this = std::move(other); }
  PcmChunk& operator=(PcmChunk&& other) noexcept;
  PcmChunk(const PcmChunk&) = delete;
  PcmChunk& operator=(const PcmChunk&) = delete;
  ~PcmChunk() { Release(); }

  uint8_t* data() { return data_; }
  const uint8_t* data() const { return data_; }
  size_t size() const { return size_; }
  size_t capacity() const { return capacity_; }
  // Shrinks (or grows back) within the capacity.
  void resize(size_t size);

 private:
  friend class ChunkStore;
  void Release();
  ChunkStore* store_ = nullptr;  // null: heap memory, or nothing
  uint8_t* data_ = nullptr;
  size_t size_ = 0;
  size_t capacity_ = 0;
};

class ChunkStore {
 public:
  // slots of slot_bytes each, mapped (not yet touched) up front.
  ChunkStore(size_t slot_bytes, size_t slots);
  ~ChunkStore();
  ChunkStore(const ChunkStore&) = delete;
  ChunkStore& operator=(const ChunkStore&) = delete;

  // A chunk of `size` bytes (at most slot_bytes; larger ones come from the
  // heap), from the slot given back last, else the first never used.
  PcmChunk Take(size_t size);

  size_t slot_bytes() const { return slot_bytes_; }
  size_t slots_out() const;

 private:
  friend class PcmChunk;
  void Give(uint8_t* slot);

  const size_t slot_bytes_;
  const size_t slots_;
  uint8_t* base_ = nullptr;  // null when the mapping failed: every chunk comes from the heap
  size_t mapped_bytes_ = 0;
  mutable std::mutex mutex_;
  std::vector<uint8_t*> free_;  // given back, most recent last
  size_t fresh_ = 0;            // slots [fresh_, slots_) were never taken
  size_t out_ = 0;
};

}  // namespace tonvik
