#include "dat/app_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "dat/conv_state.h"
#include "support/record_builder.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct AppFixture {
  ConvState cs;
  AppInfo info;
  AppFixture() { cs.app = &info; }
  ~AppFixture() { FreeAppInfo(&info); }

  void Block(uint16_t declared, uint8_t more, const Bytes& data) {
    const Bytes rec = tb::Fields()
                          .u16(declared)
                          .u8(more)
                          .u8(static_cast<uint32_t>(data.size()))
                          .bytes(data)
                          .record(31);
    AppendAppBlock(cs, rec.data(), rec.size());
  }
  Bytes Assembled() const { return Bytes(info.buffer, info.buffer + info.declaredSize); }
  Bytes Write() {
    FILE* f = std::tmpfile();
    WriteAppFile(cs, info.buffer, info.declaredSize, f);
    std::fflush(f);
    Bytes out(static_cast<size_t>(std::ftell(f)));
    std::rewind(f);
    EXPECT_EQ(std::fread(out.data(), 1, out.size(), f), out.size());
    std::fclose(f);
    return out;
  }
};

// A prefix and items with n data bytes each.
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

// A packet as the file lays it out: the checksum is the byte sum of bytes
// 1 to 6 and the payload.
Bytes Packet(const Bytes& payload, uint8_t index, uint8_t last) {
  Bytes p = {0x02, 0x00, 0x64, static_cast<uint8_t>(payload.size() + 3), 0x00, index, last};
  p.insert(p.end(), payload.begin(), payload.end());
  unsigned sum = 0;
  for (size_t i = 1; i < p.size(); ++i) sum += p[i];
  p.push_back(static_cast<uint8_t>(sum));
  p.push_back(0x03);
  return p;
}

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

TEST(AppFile, PacketsOfWholeItems) {
  AppFixture f;
  const Bytes chain = Chain({100, 100, 50});  // 4 + 102 + 102 + 52 = 260
  ASSERT_EQ(chain.size(), 260u);
  f.Block(260, 1, Slice(chain, 0, 100));
  f.Block(260, 1, Slice(chain, 100, 100));
  f.Block(260, 0, Slice(chain, 200, 60));
  EXPECT_EQ(f.info.state, 1);
  EXPECT_EQ(f.Assembled(), chain);
  // 260 + 9 x 2 = 278 = 0x0116.
  const Bytes expected = Cat({{0x16, 0x01},
                              Packet(Slice(chain, 0, 208), 0, 1),
                              Packet(Slice(chain, 208, 52), 1, 1)});
  EXPECT_EQ(f.Write(), expected);
}

TEST(AppFile, PacketLimits) {
  struct Case {
    const char* what;
    std::vector<int> items;
    std::vector<size_t> packets;  // payload sizes
  } cases[] = {
      {"prefix only", {}, {4}},
      {"exactly 245", {239}, {245}},
      {"one byte over", {240}, {4, 242}},
      {"item larger than a packet", {250}, {4, 252}},
      {"many small items", {40, 40, 40, 40, 40, 40}, {214, 42}},
  };
  for (const Case& c : cases) {
    AppFixture f;
    const Bytes chain = Chain(c.items);
    // Fill the buffer through blocks of at most 200 bytes.
    for (size_t off = 0; off < chain.size(); off += 200) {
      const size_t n = std::min<size_t>(200, chain.size() - off);
      f.Block(static_cast<uint16_t>(chain.size()), off + n < chain.size(), Slice(chain, off, n));
    }
    Bytes expected;
    const uint16_t count = static_cast<uint16_t>(chain.size() + 9 * c.packets.size());
    expected.push_back(static_cast<uint8_t>(count));
    expected.push_back(static_cast<uint8_t>(count >> 8));
    size_t off = 0;
    for (size_t i = 0; i < c.packets.size(); ++i) {
      const Bytes p = Packet(Slice(chain, off, c.packets[i]), static_cast<uint8_t>(i),
                             static_cast<uint8_t>(c.packets.size() - 1));
      expected.insert(expected.end(), p.begin(), p.end());
      off += c.packets[i];
    }
    ASSERT_EQ(off, chain.size()) << c.what;
    EXPECT_EQ(f.Write(), expected) << c.what;
  }
}

TEST(AppFile, SecondSequenceReplacesFirst) {
  AppFixture f;
  f.Block(8, 0, {1, 2, 3, 4, 5, 2, 6, 7});
  f.Block(6, 1, {9, 9, 9, 9});
  f.Block(6, 0, {8, 0});
  EXPECT_EQ(f.info.state, 1);
  EXPECT_EQ(f.Assembled(), Bytes({9, 9, 9, 9, 8, 0}));
}

TEST(AppFile, MissingLastBlockLeavesZeros) {
  AppFixture f;
  f.Block(20, 1, {0xA0, 0xA1, 0xA2, 0xA3, 0x31, 2, 0x55, 0x66});
  EXPECT_EQ(f.info.state, 1);
  const Bytes buffer = {0xA0, 0xA1, 0xA2, 0xA3, 0x31, 2, 0x55, 0x66, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(f.Assembled(), buffer);
  EXPECT_EQ(f.Write(), Cat({{29, 0}, Packet(buffer, 0, 0)}));
}

TEST(AppFile, OverflowMakesAssemblyInvalidUntilNextSequence) {
  AppFixture f;
  f.Block(6, 1, {1, 2, 3, 4});
  f.Block(6, 0, {5, 6, 7});  // 7 > 6
  EXPECT_EQ(f.info.state, 2);
  f.Block(4, 0, {1, 2, 3, 4});
  EXPECT_EQ(f.info.state, 1);

  // A larger declared size later in the sequence does not grow the buffer.
  AppFixture g;
  g.Block(4, 1, {1, 2});
  g.Block(400, 0, {3, 4, 5});
  EXPECT_EQ(g.info.state, 2);

  // A count that runs past the record's data.
  AppFixture h;
  const Bytes rec = tb::Fields().u16(10).u8(0).u8(8).bytes({1, 2, 3}).record(31);
  AppendAppBlock(h.cs, rec.data(), rec.size());
  EXPECT_EQ(h.info.state, 2);
}

TEST(AppFile, NothingWritten) {
  ConvState cs;
  const Bytes buffer = {1, 2, 3, 4};
  EXPECT_EQ(WriteAppFile(cs, buffer.data(), 4, nullptr), 25);
  FILE* out = std::tmpfile();
  EXPECT_EQ(WriteAppFile(cs, buffer.data(), 0, out), 0);
  EXPECT_EQ(std::ftell(out), 0);
  cs.writer.writeError = 15;  // the counted write path is stuck
  WriteAppFile(cs, buffer.data(), 4, out);
  EXPECT_EQ(std::ftell(out), 0);
  std::fclose(out);
}

TEST(AppFile, SizeBeyondBufferIsCut) {
  AppFixture f;
  f.Block(6, 0, {0xA0, 0xA1, 0xA2, 0xA3, 7, 0});
  FILE* out = std::tmpfile();
  WriteAppFile(f.cs, f.info.buffer, 500, out);
  EXPECT_EQ(std::ftell(out), 2 + 9 + 6);
  std::fclose(out);
}

}  // namespace
