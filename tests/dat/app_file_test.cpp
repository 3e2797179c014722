// The APP/CFG file: type-31 blocks assembled in memory and written as
// framed packets of whole configuration items.
#include "dat/app_file.h"

#include <algorithm>

#include "dat_fixture.h"

namespace dattest {
namespace {

struct App {
  ConvState cs;
  AppInfo info;
  App() { cs.app = &info; }
  ~App() { FreeAppInfo(&info); }
  void Block(uint16_t declared, uint8_t more, const Bytes& data) {
    const Bytes rec = Fields().u16(declared).u8(more).u8(static_cast<uint32_t>(data.size())).bytes(data).record(31);
    AppendAppBlock(cs, rec.data(), rec.size());
  }
  Bytes Assembled() const { return Bytes(info.buffer, info.buffer + info.declaredSize); }
  Bytes Write(uint16_t size) {
    FILE* f = std::tmpfile();
    WriteAppFile(cs, info.buffer, size, f);
    std::fflush(f);
    Bytes out(static_cast<size_t>(std::ftell(f)));
    std::rewind(f);
    out.resize(std::fread(out.data(), 1, out.size(), f));
    std::fclose(f);
    return out;
  }
  Bytes Write() { return Write(info.declaredSize); }
};

// A 4-byte prefix and items of n data bytes each.
Bytes Chain(const std::vector<int>& sizes) {
  Bytes b = {0xA0, 0xA1, 0xA2, 0xA3};
  for (size_t k = 0; k < sizes.size(); ++k) {
    b.push_back(static_cast<uint8_t>(0x10 + k));
    b.push_back(static_cast<uint8_t>(sizes[k]));
    for (int i = 0; i < sizes[k]; ++i) b.push_back(static_cast<uint8_t>(k * 7 + i));
  }
  return b;
}
Bytes Slice(const Bytes& b, size_t from, size_t n) { return Bytes(b.begin() + from, b.begin() + from + n); }

// The checksum is the byte sum of packet bytes 1 to 6 and the payload.
Bytes Packet(const Bytes& payload, uint8_t index, uint8_t last) {
  Bytes p = {0x02, 0x00, 0x64, static_cast<uint8_t>(payload.size() + 3), 0x00, index, last};
  p.insert(p.end(), payload.begin(), payload.end());
  unsigned sum = 0;
  for (size_t i = 1; i < p.size(); ++i) sum += p[i];
  p.push_back(static_cast<uint8_t>(sum));
  p.push_back(0x03);
  return p;
}

// Each row: the item sizes after the 4-byte prefix, the packet payloads
// and the byte count (buffer size + 9 per packet).
TEST(AppFile, PacketsOfWholeItems) {
  struct Case { std::vector<int> items; std::vector<size_t> packets; size_t count; } cases[] = {
      {{100, 100, 50}, {4 + 102 + 102, 52}, 278},
      {{}, {4}, 13},
      {{239}, {245}, 254},  // exactly 245
      {{240}, {4, 242}, 264},
      {{250}, {4, 252}, 274},  // an item larger than a packet
      {{40, 40, 40, 40, 40, 40}, {214, 42}, 274},
  };
  for (const Case& c : cases) {
    App a;
    const Bytes chain = Chain(c.items);
    for (size_t off = 0; off < chain.size(); off += 200) {  // blocks of at most 200 bytes
      const size_t n = std::min<size_t>(200, chain.size() - off);
      a.Block(static_cast<uint16_t>(chain.size()), off + n < chain.size(), Slice(chain, off, n));
    }
    EXPECT_EQ(a.info.state, 1);
    EXPECT_EQ(a.Assembled(), chain);
    Bytes expected = {static_cast<uint8_t>(c.count), static_cast<uint8_t>(c.count >> 8)};
    size_t off = 0;
    for (size_t i = 0; i < c.packets.size(); off += c.packets[i], ++i) {
      const Bytes p = Packet(Slice(chain, off, c.packets[i]), static_cast<uint8_t>(i),
                             static_cast<uint8_t>(c.packets.size() - 1));
      expected.insert(expected.end(), p.begin(), p.end());
    }
    ASSERT_EQ(off, chain.size()) << c.count;
    EXPECT_EQ(a.Write(), expected) << c.count;
  }
}

TEST(AppFile, SequencesReplaceOrLeaveZeros) {
  App a;  // a second complete sequence replaces the first
  a.Block(8, 0, {1, 2, 3, 4, 5, 2, 6, 7});
  a.Block(6, 1, {9, 9, 9, 9});
  a.Block(6, 0, {8, 0});
  EXPECT_EQ(a.info.state, 1);
  EXPECT_EQ(a.Assembled(), Bytes({9, 9, 9, 9, 8, 0}));
  App b;  // the last block never comes: zeros fill the declared size
  b.Block(20, 1, {0xA0, 0xA1, 0xA2, 0xA3, 0x31, 2, 0x55, 0x66});
  EXPECT_EQ(b.info.state, 1);
  Bytes buffer = {0xA0, 0xA1, 0xA2, 0xA3, 0x31, 2, 0x55, 0x66};
  buffer.resize(20, 0);
  EXPECT_EQ(b.Assembled(), buffer);
  Bytes expected = {29, 0};
  const Bytes p = Packet(buffer, 0, 0);
  expected.insert(expected.end(), p.begin(), p.end());
  EXPECT_EQ(b.Write(), expected);
}

TEST(AppFile, OverflowMakesAssemblyInvalidUntilNextSequence) {
  App a;
  a.Block(6, 1, {1, 2, 3, 4});
  a.Block(6, 0, {5, 6, 7});  // 7 > 6
  EXPECT_EQ(a.info.state, 2);
  a.Block(4, 0, {1, 2, 3, 4});
  EXPECT_EQ(a.info.state, 1);
  App b;  // a larger declared size later in the sequence does not grow the buffer
  b.Block(4, 1, {1, 2});
  b.Block(400, 0, {3, 4, 5});
  EXPECT_EQ(b.info.state, 2);
  App c;  // a count that runs past the record's data
  const Bytes rec = Fields().u16(10).u8(0).u8(8).bytes({1, 2, 3}).record(31);
  AppendAppBlock(c.cs, rec.data(), rec.size());
  EXPECT_EQ(c.info.state, 2);
}

TEST(AppFile, NothingOrOnlyTheBufferWritten) {
  App a;
  a.Block(6, 0, {0xA0, 0xA1, 0xA2, 0xA3, 7, 0});
  EXPECT_EQ(a.Write(500).size(), 2u + 9 + 6);  // a size beyond the buffer is cut
  EXPECT_TRUE(a.Write(0).empty());
  EXPECT_EQ(WriteAppFile(a.cs, a.info.buffer, 6, nullptr), status::kAppNotOpen);
  a.cs.writer.writeError = 15;  // the counted write path is stuck
  EXPECT_TRUE(a.Write().empty());
}

}  // namespace
}  // namespace dattest
