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
  // A block whose count m is that of its data bytes unless given.
  void Block(uint16_t declared, uint8_t more, const Bytes& data, size_t m = 0) {
    const Bytes rec = Fields().u16(declared).u8(more).u8(m ? m : data.size()).bytes(data).record(31);
    AppendAppBlock(cs, rec.data(), rec.size());
  }
  Bytes Assembled() const { return Bytes(info.buffer, info.buffer + info.declaredSize); }
  Bytes Write(uint16_t size) {
    FILE* f = std::tmpfile();
    WriteAppFile(cs, info.buffer, size, f);
    const Bytes out = Contents(f);
    std::fclose(f);
    return out;
  }
};

// The checksum is the byte sum of packet bytes 1 to 6 and the payload.
Bytes Packet(const Bytes& payload, uint8_t index, uint8_t last) {
  Bytes p = {0x02, 0x00, 0x64, static_cast<uint8_t>(payload.size() + 3), 0x00, index, last};
  p += payload;
  unsigned sum = 0;
  for (size_t i = 1; i < p.size(); ++i) sum += p[i];
  p.push_back(static_cast<uint8_t>(sum));
  p.push_back(0x03);
  return p;
}

// Each row: the item sizes after a 4-byte prefix, zero bytes declared beyond
// them (the last block never comes), the packet payloads and the byte count
// (buffer size + 9 per packet).
TEST(AppFile, PacketsOfWholeItems) {
  struct Case { std::vector<int> items; size_t zeros; std::vector<size_t> packets; size_t count; } cases[] = {
      {{100, 100, 50}, 0, {4 + 102 + 102, 52}, 278},
      {{}, 0, {4}, 13},
      {{239}, 0, {245}, 254},  // exactly 245
      {{240}, 0, {4, 242}, 264},
      {{250}, 0, {4, 252}, 274},  // an item larger than a packet
      {{2}, 12, {20}, 29},  // zero bytes read as empty items
  };
  for (const Case& c : cases) {
    Bytes chain = {0xA0, 0xA1, 0xA2, 0xA3};
    for (size_t k = 0; k < c.items.size(); ++k) {
      chain.push_back(static_cast<uint8_t>(0x10 + k));
      chain.push_back(static_cast<uint8_t>(c.items[k]));
      for (int i = 0; i < c.items[k]; ++i) chain.push_back(static_cast<uint8_t>(k * 7 + i));
    }
    const size_t declared = chain.size() + c.zeros;
    App a;
    for (size_t off = 0; off < chain.size(); off += 200) {  // blocks of at most 200 bytes
      const size_t n = std::min<size_t>(200, chain.size() - off);
      a.Block(declared, c.zeros > 0 || off + n < chain.size(), Bytes(chain.begin() + off, chain.begin() + off + n));
    }
    chain.resize(declared, 0);
    EXPECT_EQ(a.info.state, 1);
    EXPECT_EQ(a.Assembled(), chain);
    Bytes expected = {static_cast<uint8_t>(c.count), static_cast<uint8_t>(c.count >> 8)};
    size_t off = 0;
    for (size_t i = 0; i < c.packets.size(); off += c.packets[i], ++i)
      expected += Packet(Bytes(chain.begin() + off, chain.begin() + off + c.packets[i]), static_cast<uint8_t>(i),
                         static_cast<uint8_t>(c.packets.size() - 1));
    ASSERT_EQ(off, chain.size()) << c.count;
    EXPECT_EQ(a.Write(declared), expected) << c.count;
  }
}

TEST(AppFile, SequencesReplaceOverflowInvalidates) {
  App a;  // a second complete sequence replaces the first
  a.Block(8, 0, {1, 2, 3, 4, 5, 2, 6, 7});
  a.Block(6, 1, {9, 9, 9, 9});
  a.Block(6, 0, {8, 0});
  EXPECT_EQ(a.info.state, 1);
  EXPECT_EQ(a.Assembled(), Bytes({9, 9, 9, 9, 8, 0}));
  a.Block(6, 1, {1, 2, 3, 4});
  a.Block(6, 0, {5, 6, 7});  // 7 > 6: invalid until the next sequence
  EXPECT_EQ(a.info.state, 2);
  a.Block(4, 0, {1, 2, 3, 4});
  EXPECT_EQ(a.info.state, 1);
  App b;  // a larger declared size later in the sequence does not grow the buffer
  b.Block(4, 1, {1, 2});
  b.Block(400, 0, {3, 4, 5});
  EXPECT_EQ(b.info.state, 2);
  App c;  // a count that runs past the record's data
  c.Block(10, 0, {1, 2, 3}, 8);
  EXPECT_EQ(c.info.state, 2);
}

TEST(AppFile, NothingOrOnlyTheBufferWritten) {
  App a;
  a.Block(6, 0, {0xA0, 0xA1, 0xA2, 0xA3, 7, 0});
  EXPECT_EQ(a.Write(500).size(), 2u + 9 + 6);  // a size beyond the buffer is cut
  EXPECT_TRUE(a.Write(0).empty());
  EXPECT_EQ(WriteAppFile(a.cs, a.info.buffer, 6, nullptr), status::kAppNotOpen);
  a.cs.writer.writeError = 15;  // the counted write path is stuck
  EXPECT_TRUE(a.Write(6).empty());
}

}  // namespace
}  // namespace dattest
