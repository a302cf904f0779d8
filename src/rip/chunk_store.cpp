#include "rip/chunk_store.h"

#include <sys/mman.h>

#include <cassert>
#include <utility>

namespace tonvik {

namespace {
constexpr size_t kHugePage = size_t(2) << 20;
}  // namespace

PcmChunk& PcmChunk::operator=(PcmChunk&& other) noexcept {
  if (this != &other) {
    Release();
    store_ = std::exchange(other.store_, nullptr);
    data_ = std::exchange(other.data_, nullptr);
    size_ = std::exchange(other.size_, 0);
    capacity_ = std::exchange(other.capacity_, 0);
  }
  return *this;
}

void PcmChunk::resize(size_t size) {
  assert(size <= capacity_);
  size_ = size <= capacity_ ? size : capacity_;
}

void PcmChunk::Release() {
  if (!data_) return;
  if (store_)
    store_->Give(data_);
  else
    delete[] data_;
  store_ = nullptr;
  data_ = nullptr;
  size_ = capacity_ = 0;
}

ChunkStore::ChunkStore(size_t slot_bytes, size_t slots) : slot_bytes_(slot_bytes), slots_(slots) {
  const size_t bytes = (slot_bytes * slots + kHugePage - 1) / kHugePage * kHugePage;
  if (bytes == 0) return;
  void* p = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (p == MAP_FAILED) return;
  // Where the kernel does not give huge pages (or refuses the advice), the
  // mapping still works with small ones.
  ::madvise(p, bytes, MADV_HUGEPAGE);
  base_ = static_cast<uint8_t*>(p);
  mapped_bytes_ = bytes;
  free_.reserve(slots);
}

ChunkStore::~ChunkStore() {
  assert(out_ == 0);
  if (base_) ::munmap(base_, mapped_bytes_);
}

PcmChunk ChunkStore::Take(size_t size) {
  PcmChunk chunk;
  if (size <= slot_bytes_ && base_) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!free_.empty()) {
      chunk.data_ = free_.back();
      free_.pop_back();
    } else if (fresh_ < slots_) {
      chunk.data_ = base_ + fresh_++ * slot_bytes_;
    }
    if (chunk.data_) {
      chunk.store_ = this;
      ++out_;
    }
  }
  if (!chunk.data_) chunk.data_ = new uint8_t[size > slot_bytes_ ? size : slot_bytes_];
  chunk.capacity_ = size > slot_bytes_ ? size : slot_bytes_;
  chunk.size_ = size;
  return chunk;
}

void ChunkStore::Give(uint8_t* slot) {
  std::lock_guard<std::mutex> lock(mutex_);
  free_.push_back(slot);
  --out_;
}

size_t ChunkStore::slots_out() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return out_;
}

}  // namespace tonvik
