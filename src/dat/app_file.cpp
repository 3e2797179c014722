#include "dat/app_file.h"

#include <cstdlib>
#include <cstring>

#include "common/byte_order.h"
#include "dat/conv_state.h"
#include "dat/dat_writer.h"

namespace {

// Assembly states: 0 nothing assembled yet, then these two.
constexpr uint16_t kStateAssembled = 1;
constexpr uint16_t kStateInvalid = 2;

constexpr size_t kPrefixBytes = 4;
constexpr size_t kPacketOverhead = 9;

// Raw type-31 record: STX, length, type, size (2), more (1), m (1), data.
constexpr size_t kBlockHeader = 7;

// Length of the item at off, cut to what the buffer still holds.
size_t ItemLength(const uint8_t* buffer, size_t size, size_t off) {
  if (size - off < 2) return size - off;
  const size_t n = buffer[off + 1] + 2u;
  return n <= size - off ? n : size - off;
}

void EmitPacket(ConvState& cs, FILE* out, const uint8_t* payload, size_t p, uint8_t index,
                uint8_t last) {
  uint8_t head[7] = {0x02, 0x00, 0x64, static_cast<uint8_t>(p + 3), 0x00, index, last};
  uint32_t sum = 0;
  for (int i = 1; i < 7; ++i) sum += head[i];
  for (size_t i = 0; i < p; ++i) sum += payload[i];
  const uint8_t tail[2] = {static_cast<uint8_t>(sum), 0x03};
  dat::WriteBlock(cs, head, 1, sizeof head, out);
  if (p > 0) dat::WriteBlock(cs, payload, 1, p, out);
  dat::WriteBlock(cs, tail, 1, sizeof tail, out);
}

}  // namespace

void AppendAppBlock(ConvState& cs, const uint8_t* rec, size_t len) {
  AppInfo* info = cs.app;
  if (info == nullptr || rec == nullptr || len < kBlockHeader + 3) return;
  const uint16_t declared = bo::GetBe16(rec + 3);
  const uint8_t more = rec[5];
  const size_t m = rec[6];
  const size_t dataEnd = len - 3;

  info->declaredSize = declared;
  if (info->writePos == nullptr) {
    // First block of a sequence: a fresh buffer replaces any earlier one.
    std::free(info->buffer);
    info->buffer = static_cast<uint8_t*>(std::calloc(declared > 0 ? declared : 1, 1));
    info->capacity = info->buffer != nullptr ? declared : 0;
    info->writePos = info->buffer;
    info->state = info->buffer != nullptr ? kStateAssembled : kStateInvalid;
  }
  if (info->writePos != nullptr) {
    const size_t used = static_cast<size_t>(info->writePos - info->buffer);
    const size_t limit = declared < info->capacity ? declared : info->capacity;
    if (kBlockHeader + m <= dataEnd && used + m <= limit) {
      std::memcpy(info->writePos, rec + kBlockHeader, m);
      info->writePos += m;
    } else {
      info->state = kStateInvalid;
    }
  }
  if (more == 0) info->writePos = nullptr;
}

Status WriteAppFile(ConvState& cs, const uint8_t* buffer, uint16_t size, FILE* out) {
  if (out == nullptr) return status::kAppNotOpen;
  if (buffer == nullptr || size < 1) return status::kOk;
  size_t total = size;
  if (cs.app != nullptr && buffer == cs.app->buffer && total > cs.app->capacity)
    total = cs.app->capacity;
  if (total < 1) return status::kOk;

  const size_t first = total < kPrefixBytes ? total : kPrefixBytes;

  // Pass 1: count the packet breaks.
  size_t running = first;
  size_t breaks = 0;
  for (size_t off = first; off < total;) {
    const size_t n = ItemLength(buffer, total, off);
    if (running + n > kAppPacketPayload) {
      ++breaks;
      running = 0;
    }
    running += n;
    off += n;
  }
  uint8_t count[2];
  bo::PutLe16(count, static_cast<uint16_t>(total + kPacketOverhead * (breaks + 1)));
  dat::WriteBlock(cs, count, 1, sizeof count, out);

  // Pass 2: emit the packets, each with the items that fit.
  const uint8_t last = static_cast<uint8_t>(breaks);
  uint8_t index = 0;
  size_t start = 0;
  running = first;
  for (size_t off = first; off < total;) {
    const size_t n = ItemLength(buffer, total, off);
    if (running + n > kAppPacketPayload) {
      EmitPacket(cs, out, buffer + start, running, index, last);
      start += running;
      running = 0;
      ++index;
    }
    running += n;
    off += n;
  }
  if (running > 0) EmitPacket(cs, out, buffer + start, running, index, last);
  return cs.writer.writeError != 0 ? cs.writer.writeError : status::kOk;
}

void FreeAppInfo(AppInfo* info) {
  if (info == nullptr) return;
  std::free(info->buffer);
  info->buffer = nullptr;
  info->writePos = nullptr;
  info->capacity = 0;
}
