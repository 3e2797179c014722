#include "k01lib/block_prefetch.h"

#include <bzlib.h>
#include <unistd.h>

#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

#include "k01lib/container_reader.h"
#include "k01lib/k01_decoder.h"

namespace k01 {

struct k01_prefetch_t {
  // kIdle: no job; kQueued: a job waits for the worker; kWorking: the
  // worker reads and decodes; kDone: the result waits for the reader.
  enum State { kIdle, kQueued, kWorking, kDone };

  std::mutex lock;
  std::condition_variable changed;
  State state = kIdle;
  bool quit = false;

  // The job: a descriptor of its own (closed by the worker) and the offset
  // of the block's type byte.
  int fd = -1;
  long offset = -1;

  // The result: what was read there and what it decoded to.
  bool decoded = false;
  uint8_t blockType = 0;
  uint32_t payloadLength = 0;
  uint32_t outputLength = 0;
  std::unique_ptr<uint8_t[]> input{new (std::nothrow) uint8_t[kBlockInputSize]};
  std::unique_ptr<uint8_t[]> output{new (std::nothrow) uint8_t[kBlockOutputSize]};

  std::thread worker;

  void run();
  void readAndDecode();
};

namespace {

bool isBzip2Block(uint8_t type) { return type == kBlockBzip2 || type == kBlockBzip2Stripped; }

size_t readAt(int fd, uint8_t* to, size_t n, long offset) {
  size_t done = 0;
  while (done < n) {
    const ssize_t got = pread(fd, to + done, n - done, static_cast<off_t>(offset + done));
    if (got <= 0) break;
    done += static_cast<size_t>(got);
  }
  return done;
}

k01_prefetch_t* prefetcherOf(K01Decoder* d) {
  if (d->prefetch != nullptr || d->prefetchUnavailable) return d->prefetch;
  auto* p = new (std::nothrow) k01_prefetch_t();
  if (p == nullptr || p->input == nullptr || p->output == nullptr) {
    delete p;
    d->prefetchUnavailable = 1;
    return nullptr;
  }
  try {
    p->worker = std::thread([p] { p->run(); });
  } catch (const std::system_error&) {
    delete p;
    d->prefetchUnavailable = 1;
    return nullptr;
  }
  d->prefetch = p;
  return p;
}

}  // namespace

void k01_prefetch_t::readAndDecode() {
  decoded = false;
  payloadLength = 0;
  outputLength = 0;
  uint8_t head[4];
  if (readAt(fd, head, 4, offset) != 4) return;
  blockType = head[0];
  const uint32_t n = (static_cast<uint32_t>(head[1]) << 16) | (static_cast<uint32_t>(head[2]) << 8) | head[3];
  if (!isBzip2Block(blockType) || n > kMaxBlockLength || n > kBlockInputSize) return;
  // As the reader does: a block cut short by the end of the file is decoded
  // from the bytes there are.
  payloadLength = static_cast<uint32_t>(readAt(fd, input.get(), n, offset + 4));
  unsigned int produced = kBlockOutputSize;
  const int r = BZ2_bzBuffToBuffDecompress(reinterpret_cast<char*>(output.get()), &produced,
                                           reinterpret_cast<char*>(input.get()), payloadLength, 0, 0);
  if (r != BZ_OK) return;
  outputLength = produced;
  decoded = true;
}

void k01_prefetch_t::run() {
  std::unique_lock<std::mutex> guard(lock);
  for (;;) {
    changed.wait(guard, [this] { return quit || state == kQueued; });
    if (quit) break;
    state = kWorking;
    guard.unlock();
    readAndDecode();
    close(fd);
    guard.lock();
    fd = -1;
    state = kDone;
    changed.notify_all();
  }
}

void prefetchBlockAt(K01Decoder* d, FILE* f, long offset) {
  if (d == nullptr || f == nullptr || offset < 0) return;
  k01_prefetch_t* p = prefetcherOf(d);
  if (p == nullptr) return;
  std::lock_guard<std::mutex> guard(p->lock);
  // Busy, or that block is already done and waits to be taken.
  if (p->state == k01_prefetch_t::kQueued || p->state == k01_prefetch_t::kWorking) return;
  if (p->state == k01_prefetch_t::kDone && p->offset == offset) return;
  const int source = fileno(f);
  if (source < 0) return;
  const int fd = dup(source);
  if (fd < 0) return;
  p->fd = fd;
  p->offset = offset;
  p->state = k01_prefetch_t::kQueued;
  p->changed.notify_all();
}

bool takePrefetchedBlock(K01Decoder* d, long blockStart, uint8_t blockType, uint32_t length) {
  if (d == nullptr || d->prefetch == nullptr || !isBzip2Block(blockType)) return false;
  k01_prefetch_t* p = d->prefetch;
  std::unique_lock<std::mutex> guard(p->lock);
  if (p->state == k01_prefetch_t::kIdle) return false;
  if (p->offset != blockStart) {
    // A guess about another block: dropped once finished.
    if (p->state == k01_prefetch_t::kDone) p->state = k01_prefetch_t::kIdle;
    return false;
  }
  p->changed.wait(guard, [p] { return p->state == k01_prefetch_t::kDone; });
  p->state = k01_prefetch_t::kIdle;
  if (!p->decoded || p->blockType != blockType || p->payloadLength != length ||
      std::memcmp(p->input.get(), d->blockInput, length) != 0)
    return false;
  std::memcpy(d->blockOutput, p->output.get(), p->outputLength);
  d->blockOutputLength = p->outputLength;
  d->blockReadOffset = 0;
  return true;
}

void destroyPrefetch(k01_prefetch_t* p) {
  if (p == nullptr) return;
  {
    std::lock_guard<std::mutex> guard(p->lock);
    p->quit = true;
    p->changed.notify_all();
  }
  if (p->worker.joinable()) p->worker.join();
  if (p->fd >= 0) close(p->fd);
  delete p;
}

}  // namespace k01
