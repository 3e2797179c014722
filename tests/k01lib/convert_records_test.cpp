// Conversions of expanded measurements to type 17 (L2 modes) and of precise
// positions to type 11.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "k01lib/expand_state.h"

namespace {

k01_signal27_t sig27(uint8_t band, uint8_t type, double range, double phase, uint8_t g = 0) {
  k01_signal27_t s{};
  s.size = 27;
  s.band = band;
  s.signalType = type;
  s.snr = 455;
  s.range = range;
  s.phase = phase;
  s.flagsG = g;
  return s;
}

std::unique_ptr<k01_meas27_t> emptyMeas() {
  auto m = std::make_unique<k01_meas27_t>();
  std::memset(m.get(), 0, sizeof *m);
  return m;
}

void addSv(k01_meas27_t& m, uint8_t sv, uint8_t system, std::initializer_list<k01_signal27_t> sigs) {
  k01_sv27_t& b = m.sv[m.svCount++];
  b.size = 10;
  b.svNumber = sv;
  b.system = system;
  b.wordA = 11;
  b.wordB = 22;
  for (const auto& s : sigs) b.signal[b.signalCount++] = s;
}

struct Converted {
  std::unique_ptr<k01_meas17_t> out = std::make_unique<k01_meas17_t>();
  uint8_t header[4] = {};
  uint16_t length = 0;
};

Converted convert(const k01_meas27_t& m, int mode) {
  Converted c;
  c.length = k01::convertMeasurements27To17(c.header, &m, c.out.get(), mode);
  return c;
}

// L1 at 20,000,000 m with Doppler; L2E (type 2) 3 m further, L2C (type 1) 5 m.
TEST(Convert27To17, L2ModesChooseOneSignal) {
  const struct {
    int mode;
    bool withL2C;
    double phase2;  // 0: no second frequency
  } cases[] = {{0, true, 200.0}, {1, true, 300.0}, {2, true, 200.0}, {3, true, 300.0},
               {0, false, 200.0}, {1, false, 0.0}, {2, false, 200.0}, {3, false, 200.0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.mode * 10 + c.withL2C);
    auto m = emptyMeas();
    m->time = 5000.0;
    m->clockOffset = 0.25f;
    addSv(*m, 9, 0, {sig27(0, 0, 2e7, 100.0, 0x04 | 0x08), sig27(1, 2, 2e7 + 3, 200.0, 0x08),
                     sig27(1, 1, 2e7 + 5, 300.0)});
    m->sv[0].signal[0].doppler = -42.5f;
    if (!c.withL2C) m->sv[0].signalCount = 2;
    const Converted r = convert(*m, c.mode);
    const k01_meas17_sv_t& sv = r.out->sv[0];
    EXPECT_EQ(r.out->time, 5000.0);
    EXPECT_EQ(r.out->clockTerm, 0.25);
    EXPECT_EQ(sv.word2, 22);
    EXPECT_DOUBLE_EQ(sv.snr1, 45.5);
    EXPECT_EQ(sv.range1, 2e7);
    EXPECT_EQ(sv.doppler1, -42.5);
    EXPECT_EQ(sv.byte3, 0x03);
    const uint16_t length = c.phase2 == 0.0 ? 21 + 48 : 21 + 48 + 24;
    EXPECT_EQ(r.length, length);
    EXPECT_EQ(std::vector<uint8_t>(r.header, r.header + 4), (std::vector<uint8_t>{'t', uint8_t(length), 0, 17}));
    if (c.phase2 == 0.0) {
      EXPECT_EQ(sv.flags & 0x01, 0);
      continue;
    }
    EXPECT_EQ(sv.phase2, c.phase2);
    EXPECT_DOUBLE_EQ(sv.snr2, 45.5);
    // L2E: flags 0xC0 | 0x02 | 0x08 from L1, | 0x21, | 0x04 for its broken
    // continuity; byte 2 loses 0x02 and gains 0x04.
    const bool l2e = c.phase2 == 200.0;
    EXPECT_EQ(sv.flags, l2e ? 0xC0 | 0x02 | 0x21 | 0x04 : 0xC0 | 0x02 | 0x21);
    EXPECT_EQ(sv.status, l2e ? 0x04 : 0x02);
    EXPECT_EQ(sv.value2, l2e ? 3.0 : 5.0);
  }
}

TEST(Convert27To17, MoreThan24GpsBlocksKeepsTheFirst24) {
  auto m = emptyMeas();
  for (int i = 0; i < 30; ++i) addSv(*m, static_cast<uint8_t>(i + 1), 0, {sig27(0, 0, 1, 1)});
  const Converted r = convert(*m, 3);
  EXPECT_EQ(r.out->svCount, 24);
  EXPECT_EQ(r.out->sv[23].svNumber, 24);
  EXPECT_EQ(r.length, 21 + 24 * 48);
  EXPECT_EQ(r.header[1], (21 + 24 * 48) & 0xFF);
  EXPECT_EQ(r.header[2], (21 + 24 * 48) >> 8);
  EXPECT_EQ(k01::convertMeasurements27To17(nullptr, m.get(), nullptr, 3), 0);
}

std::unique_ptr<k01_pos29_t> position29() {
  auto p = std::make_unique<k01_pos29_t>();
  std::memset(p.get(), 0, sizeof *p);
  p->time = 123456;
  p->latitude = 45.0;
  p->longitude = -90.0;
  p->height = 250.5;
  p->value40 = 1.5;
  p->value56 = 3.5;
  p->values[0] = 0.5f;
  p->values[1] = 2.0f;
  p->values[2] = 7.0f;
  return p;
}

TEST(Convert29To11, ValuesAndLists) {
  auto p = position29();
  p->svCount = 4;
  p->secondCount = 2;
  const uint8_t triples[] = {5, 0, 0x02, 6, 0, 0x00, 7, 2, 0x03, 8, 0, 0x02};
  std::memcpy(p->svEntries, triples, sizeof triples);
  auto out = std::make_unique<k01_pos11_t>();
  std::memset(out.get(), 0xEE, sizeof *out);
  uint8_t header[4];
  EXPECT_EQ(k01::convertPosition29To11(header, p.get(), out.get()), 86);
  EXPECT_EQ(std::vector<uint8_t>(header, header + 4), (std::vector<uint8_t>{'t', 86, 0, 11}));
  EXPECT_EQ(out->latitude, 0.25);
  EXPECT_EQ(out->longitude, -0.5);
  EXPECT_EQ(out->height, 250.5);
  EXPECT_DOUBLE_EQ(out->value4, 0.5 * 299792.458);
  EXPECT_DOUBLE_EQ(out->value5, 2.0 / 1000000.0 * 299792458.0 / 0.19029367279836487);
  EXPECT_EQ(out->value6, 7.0);
  EXPECT_EQ(out->value7, 1.5);
  EXPECT_EQ(out->value9, 3.5);
  EXPECT_EQ(out->time, 123456u);
  EXPECT_EQ(out->count, 2);
  // Positions 0 and 1 go to the flagged satellites 5 and 7 (GLONASS: +51).
  EXPECT_EQ(std::vector<uint8_t>(out->lists, out->lists + 5), (std::vector<uint8_t>{0, 1, 5, 58, 0xEE}));
}

TEST(Convert29To11, StatusByteTable) {
  const struct {
    uint8_t v, s, k, w, expected;
  } cases[] = {
      {0, 1, 0, 0, 0x00}, {0, 3, 0, 0, 0x02}, {0, 4, 0, 0, 0x03}, {0, 5, 5, 0, 0x45}, {0, 5, 3, 0, 0x44},
      {0, 9, 0, 0, 0x00}, {0, 1, 1, 0, 0x10}, {0, 1, 2, 0, 0x50}, {0, 1, 7, 3, 0x30}, {0, 3, 0, 3, 0x22},
      {1, 4, 4, 0, 0xCB}, {1, 5, 6, 0, 0xCD}, {1, 1, 2, 0, 0x50},
  };
  for (const auto& c : cases) {
    auto p = position29();
    p->byte11 = c.v;
    p->byte16 = c.s;
    p->modeByte = c.k;
    p->byte18 = c.w;
    k01_pos11_t out{};
    uint8_t header[4];
    k01::convertPosition29To11(header, p.get(), &out);
    EXPECT_EQ(out.byte41, c.expected) << int(c.v) << " " << int(c.s) << " " << int(c.k) << " " << int(c.w);
  }
}

TEST(Convert29To11, CountsBeyondTheListsAndMissingStructures) {
  auto p = position29();
  p->secondCount = 88;
  p->svCount = 200;  // more triples than the slot holds
  for (int i = 0; i < k01_pos29_t::kSvSlots; ++i) {
    p->svEntries[3 * i] = static_cast<uint8_t>(i + 1);
    p->svEntries[3 * i + 2] = 0x02;
  }
  k01_pos11_t out{};
  uint8_t header[4];
  EXPECT_EQ(k01::convertPosition29To11(header, p.get(), &out), 82 + 2 * 32);
  EXPECT_EQ(out.count, 32);
  EXPECT_EQ(out.lists[31], 31);
  EXPECT_EQ(out.lists[63], 32);
  EXPECT_EQ(k01::convertPosition29To11(header, nullptr, &out), 0);
  EXPECT_EQ(k01::convertPosition29To11(header, p.get(), nullptr), 0);
}

}  // namespace
