// datdump end to end: DAT files built record by record with known field
// values (every decoded layout, text and JSON), DAT files that logsplit
// wrote, damaged files, and the command line.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <string>
#include <vector>

#include "support/conversion_runner.h"
#include "support/session_image_builder.h"
#include "tools/tool_runner.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct Dump {
  int exit = -1;
  std::vector<std::string> out;  // listing lines
  std::vector<std::string> err;  // reports, without "datdump: <file>: "
};

Dump RunDump(const Bytes& file, std::vector<std::string> args = {}) {
  const std::string dir = tb::MakeTempDir(), path = dir + "/in.dat", prefix = "datdump: " + path + ": ";
  tb::WriteFile(path, file);
  args.push_back(path);
  const tt::ToolRun run = tt::RunTool("datdump", args, true);
  tb::RemoveTree(dir);
  Dump d{run.exitStatus, {}, {}};
  for (size_t at = 0, nl; (nl = run.out.find('\n', at)) != std::string::npos; at = nl + 1) {
    const std::string line = run.out.substr(at, nl - at);
    if (line.rfind(prefix, 0) == 0) d.err.push_back(line.substr(prefix.size()));
    else d.out.push_back(line);
  }
  return d;
}

tb::Le& F32(tb::Le& e, float v) { return e.u32(std::bit_cast<uint32_t>(v)); }

// One DAT record around a body: marker, length, byte 2 (the high length
// byte when wide), type.
Bytes Rec(uint8_t type, uint8_t byte2, const tb::Le& body, bool wide = false) {
  const size_t len = body.b.size() + 4;
  tb::Le r;
  r.u8(0x74).u8(len & 0xFF).u8(wide ? len >> 8 : byte2).u8(type);
  r.b.insert(r.b.end(), body.b.begin(), body.b.end());
  return r.b;
}

// The five header records and the ion/UTC record (485 bytes).
Bytes Opening() {
  tb::Le s6, s0, s1, s2, s3, ion;
  s6.u16(0).u16(4).u32(1).u32(2).u32(3).u32(4);
  s0.u8(1).u8(0).text("MAST", 5).u8(254).f64(49.21875).f64(-77.34375).f64(312.375).f64(1.5625);
  s0.u8(2).u8(1).u8(6).text("ALPHA7", 51);
  s1.u16(0).text("285N", 5).u8(1).u16(480).u16(1020).u16(485).u16(1015).u16(1500).u16(108).u16(10);
  s1.u16(11).u16(150).u8(0xFB).u8(4).u8(1).u8(1).u8(0).u8(1).u8(0).u8(65).u8(1).u8(85).text("XYZ", 4);
  s1.f64(-123456).u32(0x01020304).u32(0x0A0B0C0D).u32(7).u8(106);
  s2.u16(0).u16(102).u16(205).u16(3).u16(11).u16(1).text("     12345", 12).text("4294979641", 12);
  s2.u8(29).u8(17).u8(1).u8(0).u8(1).u8(98).u8(99).u8(100).f64(-2.5).u32(0xCAFEBABE).u16(0x1234);
  s2.u8(97).u8(107);
  s3.u16(0);
  for (double p : {49.21875, -77.34375, 305.5, 99.9, 18.0, 36.0, 100.0, 45.0, 90.0, 300.375, 54.0, 72.0})
    s3.f64(p);
  s3.u32(1234).u32(0xFFFFFFFF);
  for (int v = 1; v <= 11; ++v) ion.f64(v * 0.0625);
  ion.f64(-3).f64(17).f64(61440);
  for (int b = 0; b < 8; ++b) ion.u8(0xB0 + b);
  Bytes out;
  for (const Bytes& r : {Rec(5, 6, s6), Rec(5, 0, s0), Rec(5, 1, s1), Rec(5, 2, s2), Rec(5, 3, s3), Rec(15, 0, ion)})
    out.insert(out.end(), r.begin(), r.end());
  return out;
}

const char* const kOpeningLines[6] = {
    "offset=0 type=5 subtype=6 len=24 word0=0 count=4 words=[1 2 3 4]",
    R"(offset=24 type=5 subtype=0 len=98 byte0=1 byte1=0 station="MAST" ref_kind=254 lat_deg=49.21875 lon_deg=-77.34375 height_m=312.375 antenna_height_m=1.5625 antenna_unit=2 name_present=1 name_length=6 name="ALPHA7")",
    R"(offset=122 type=5 subtype=1 len=65 word0=0 name_tail="285N" schedule_specified=1 schedule_start_min=480 schedule_stop_min=1020 logging_start_min=485 logging_stop_min=1015 week=1500 year=2008 month=10 day=11 sync_rate_s=15 elevation_mask_deg=-5 min_svs=4 antenna_in_field=1 logging_specified=1 position_only=0 every_cycle=1 sv_selection=0 a4=65 name_present=1 a5=85 t1="XYZ" d1=-123456 w1=0x01020304 w2=0x0a0b0c0d w3=0x00000007 a10=106)",
    R"(offset=187 type=5 subtype=2 len=64 word0=0 nav_version=102 sig_version=205 download_version=[3 11 1] antenna_serial="     12345" receiver_serial="4294979641" type_code=29 a1=17 l2_flag=1 test_mode=0 name_present=1 a7=98 a8=99 a9=100 d2=-2.5 w4=0xcafebabe h1=0x1234 a6=97 a11=107)",
    "offset=251 type=5 subtype=3 len=110 word0=0 best_lat_deg=49.21875 best_lon_deg=-77.34375 best_height_m=305.5 best_pdop=99.9 best2_lat_deg=18 best2_lon_deg=36 best2_pdop=100 mean_lat_deg=45 mean_lon_deg=90 mean_height_m=300.375 mean2_lat_deg=54 mean2_lon_deg=72 mean_count=1234 mean2_count=-1",
    "offset=361 type=15 byte2=0 len=124 values=[0.0625 0.125 0.1875 0.25 0.3125 0.375 0.4375 0.5 0.5625 0.625 0.6875] value12=-3 value13=17 value14=61440 tail=b0b1b2b3b4b5b6b7",
};

Bytes Measurement17() {
  tb::Le b;
  b.f64(518400500).f64(0.125).u8(2);
  b.u8(5).u8(0x01).u8(132).u8(3).u16(40).u16(20).f64(45.25).f64(20000000.5).f64(-1234.75).f64(-512.125).f64(0);
  b.f64(38).f64(1000.5).f64(-2);
  b.u8(12).u8(0x10).u8(0).u8(3).u16(41).u16(22).f64(44).f64(21000000.25).f64(7.5).f64(3.25).f64(NAN);
  return Rec(17, 0, b, true);
}

struct DecodeCase {
  const char* name;
  Bytes record;
  std::string text;  // the line after "offset=N "
  std::string json = {};  // the whole JSON line ('%' for the offset), when checked exactly
};

std::vector<DecodeCase> DecodeCases() {
  std::vector<DecodeCase> c;
  c.push_back({"type 17, dual and single frequency, NaN", Measurement17(),
               "type=17 lenhi=0 len=141 tow_s=518400.5 clock_ms=0.125 sv_count=2 svs=[{sv=5 flags=0x01 status=132 byte3=3 word1=40 word2=20 snr1=45.25 range1_m=20000000.5 phase1_cyc=-1234.75 doppler1_hz=-512.125 value5=0 snr2=38 phase2_cyc=1000.5 range_diff2_m=-2} {sv=12 flags=0x10 status=0 byte3=3 word1=41 word2=22 snr1=44 range1_m=21000000.25 phase1_cyc=7.5 doppler1_hz=3.25 value5=nan}]",
               R"({"offset":485,"type":17,"lenhi":0,"len":141,"tow_s":518400.5,"clock_ms":0.125,"sv_count":2,"svs":[{"sv":5,"flags":1,"status":132,"byte3":3,"word1":40,"word2":20,"snr1":45.25,"range1_m":20000000.5,"phase1_cyc":-1234.75,"doppler1_hz":-512.125,"value5":0,"snr2":38,"phase2_cyc":1000.5,"range_diff2_m":-2},{"sv":12,"flags":16,"status":0,"byte3":3,"word1":41,"word2":22,"snr1":44,"range1_m":21000000.25,"phase1_cyc":7.5,"doppler1_hz":3.25,"value5":null}]})"});
  tb::Le e3;
  e3.u8(7).u8(0);
  std::string values;
  for (int i = 0; i < 25; ++i) {
    e3.f64(3 * i - 7);
    values += (i ? " " : "") + std::to_string(3 * i - 7);
  }
  c.push_back({"type 3 ephemeris", Rec(3, 0, e3), "type=3 byte2=0 len=206 sv=7 spare=0 values=[" + values + "]"});
  tb::Le e21;
  e21.u8(9).u8(0).u16(0xFFFE).u16(300).u8(4).u8(250).u32(static_cast<uint32_t>(-70000)).u32(1).u32(0x7FFFFFFF);
  for (int i = 0; i < 19; ++i) e21.f64(i - 9);
  e21.u32(0x0001A5F0);
  for (int i = 0; i < 10; ++i) e21.u8(i);
  c.push_back({"type 21 ephemeris", Rec(21, 0, e21),
               "type=21 byte2=0 len=190 sv=9 spare=0 words=[-2 300] bytes=[4 250] longs=[-70000 1 2147483647] values=[-9 -8 -7 -6 -5 -4 -3 -2 -1 0 1 2 3 4 5 6 7 8 9] flag_word=0x0001a5f0 tail=00010203040506070809"});
  tb::Le m7;
  m7.u16(1).u16(2).u16(0).u16(0).f64(150.5).f64(20000000.25).f64(0).f64(0.5).f64(-1.5).f64(518401000);
  m7.f64(0.25).f64(-8).u8(1).u8(2).u8(3).u8(4).u8(0x08).u8(17);
  c.push_back({"type 7 entry", Rec(7, 2, m7),
               "type=7 follow=2 len=82 word1=1 word2=2 word3=0 word4=0 clock_m=150.5 value2=20000000.25 value3=0 value4=0.5 value5=-1.5 tow_s=518401 value7=0.25 value8=-8 bytes=01020304 flags=0x08 sv=17"});
  tb::Le p11;
  for (double v : {0.25, -0.5, 312.375, 1.5, 2.0, 2.25, 0.0, 0.0, -0.125}) p11.f64(v);
  p11.u32(518402000).u8(0x43).u8(2).u8(0).u8(1).u8(3).u8(9);
  c.push_back({"type 11 position (semicircles to degrees)", Rec(11, 0, p11),
               "type=11 byte2=0 len=86 lat_deg=45 lon_deg=-90 height_m=312.375 clock=1.5 value5=2 value6=2.25 value7=0 value8=0 value9=-0.125 tow_s=518402 status=0x43 count=2 list1=[0 1] list2=[3 9]"});
  c.push_back({"event 0", Rec(19, 0, tb::Le().u16(3).f64(518400250.5)), "type=19 subtype=0 len=14 a=3 time_s=518400.2505"});
  c.push_back({"event 1", Rec(19, 1, tb::Le().f64(518400000).u16(250)), "type=19 subtype=1 len=14 base_s=518400 offset_ms=250"});
  tb::Le text3;
  text3.u16(2).text("Mk \"A\"\x01\xE9", 9);
  c.push_back({"event 3, text escaped", Rec(19, 3, text3), R"(type=19 subtype=3 len=15 a=2 text="Mk \"A\"\u0001\u00e9")",
               R"({"offset":%,"type":19,"subtype":3,"len":15,"a":2,"text":"Mk \"A\"\u0001\u00e9"})"});
  c.push_back({"event 5", Rec(19, 5, tb::Le().u16(1500).f64(518400000)), "type=19 subtype=5 len=14 week=1500 tow_s=518400"});
  c.push_back({"event 7", Rec(19, 7, tb::Le().u8(9).u16(513).f64(-0.5)), "type=19 subtype=7 len=15 byte=9 word=513 value=-0.5"});
  c.push_back({"event 8", Rec(19, 8, tb::Le().u8(1).u16(2).text("OK", 3)), R"(type=19 subtype=8 len=10 byte=1 word=2 text="OK")"});
  tb::Le m27;
  F32(m27.u8(21).u16(2100).f64(345600000), 1.0f).u8(1).u8(0x22);
  F32(m27, -0.5f).u8(12).u8(5).u8(1).u8(3).f64(0.125);
  m27.u8(10).u8(3).u8(0).u8(0xFD).u8(2).u16(7).u16(14).u8(0x04);
  F32(m27.u8(27).u8(0).u8(0).u16(455).f64(22578125).f64(1500.5), -3.25f).u8(0).u8(0x04);
  F32(m27.u8(28).u8(1).u8(2).u16(380).f64(-2).f64(1000.5), 0.1f).u8(1).u8(0x84).u8(0x01);
  c.push_back({"type 27, extension and extra flags", Rec(27, 0, m27, true),
               "type=27 lenhi=0 len=102 fixed_size=21 week=2100 tow_s=345600 clock_ms=1 sv_count=1 flags=0x22 clock2=-0.5 ext_size=12 ext_code=5 ext_count=1 ext=[{code=3 value=0.125}] svs=[{size=10 sv=3 system=0 channel=-3 signal_count=2 word_a=7 word_b=14 byte_q=0x04 signals=[{size=27 band=0 signal_type=0 snr=45.5 range_m=22578125 phase_cyc=1500.5 doppler_hz=-3.25 status=0 flags_g=0x04} {size=28 band=1 signal_type=2 snr=38 range_m=-2 phase_cyc=1000.5 doppler_hz=0.1 status=1 flags_g=0x84 flags_h=0x01}]}]"});
  tb::Le p29;
  p29.u8(15).u16(258).u32(345601000).u8(1).u8(2).u8(3).u8(4).u8(0x12).u8(5).u8(4).u8(6).u8(93);
  for (double v : {45.5, -120.25, 88.125, 1.0, 2.0, 3.0}) p29.f64(v);
  for (int k = 0; k <= 10; ++k) F32(p29, k * 0.5f);
  F32(p29.u8(7).u8(8), 2.5f).u8(0x07).u16(300).u32(1).u32(2).u32(3).u32(4);
  F32(F32(p29.u8(10), 0.25f), -0.25f).u8(0x01).u32(77);
  p29.u8(12).u8(2).u8(1).u8(1).f64(-1.5).u8(7).u8(3).u8(0).u8(2).u8(5).u8(2).u8(3);
  c.push_back({"type 29, every section", Rec(29, 0, p29, true),
               "type=29 lenhi=0 len=170 first_size=15 word5=258 tow_s=345601 byte11=1 sv_count=2 second_count=3 byte14=4 section_flags=0x12 byte16=5 mode=4 byte18=6 second_size=93 lat_deg=45.5 lon_deg=-120.25 height_m=88.125 value40=1 value48=2 value56=3 values=[0 0.5 1 1.5 2 2.5 3 3.5 4 4.5 5] third_size=7 third_byte=8 third_value=2.5 third_flags=0x07 third_word=300 third_triple=[1 2 3] third_last=4 fourth_size=10 fourth_values=[0.25 -0.25] fourth_flags=0x01 fourth_extra=77 ext_size=12 ext_code=2 ext_count=1 ext=[{code=1 value=-1.5}] sv_section_size=7 svs=[{sv=3 system=0 flags=0x02} {sv=5 system=2 flags=0x03}]"});
  c.push_back({"other type: envelope only", Rec(40, 0, tb::Le().u16(1).u32(2).u8(0)), "type=40 byte2=0 len=11"});
  c.push_back({"other subtyped type", Rec(16, 3, tb::Le().text("HIGHRIDGE", 9)), "type=16 subtype=3 len=13"});
  c.push_back({"placeholder header", Rec(5, 0x82, tb::Le().zeros(60)), "type=5 subtype=2 len=64 placeholder=true",
               R"({"offset":%,"type":5,"subtype":2,"len":64,"placeholder":true})"});
  return c;
}

TEST(DatdumpDecode, HandBuiltRecordsListTheirFieldsInTextAndJson) {
  const std::vector<DecodeCase> cases = DecodeCases();
  Bytes file = Opening();
  std::vector<size_t> offsets;
  for (const DecodeCase& c : cases) {
    offsets.push_back(file.size());
    file.insert(file.end(), c.record.begin(), c.record.end());
  }
  const Dump text = RunDump(file), json = RunDump(file, {"--json"});
  EXPECT_EQ(text.exit, 0);
  EXPECT_EQ(json.exit, 0);
  EXPECT_TRUE(text.err.empty() && json.err.empty());
  ASSERT_EQ(text.out.size(), 6 + cases.size());
  ASSERT_EQ(json.out.size(), 6 + cases.size());
  for (int i = 0; i < 6; ++i) EXPECT_EQ(text.out[i], kOpeningLines[i]);
  // Byte strings are quoted hexadecimal in JSON.
  EXPECT_EQ(json.out[5], R"({"offset":361,"type":15,"byte2":0,"len":124,"values":[0.0625,0.125,0.1875,0.25,0.3125,0.375,0.4375,0.5,0.5625,0.625,0.6875],"value12":-3,"value13":17,"value14":61440,"tail":"b0b1b2b3b4b5b6b7"})");
  for (size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(cases[i].name);
    const std::string offset = std::to_string(offsets[i]);
    EXPECT_EQ(text.out[6 + i], "offset=" + offset + " " + cases[i].text);
    std::string want = cases[i].json;
    if (const size_t p = want.find('%'); p != std::string::npos) want.replace(p, 1, offset);
    if (!want.empty()) {
      EXPECT_EQ(json.out[6 + i], want);
    }
  }
}

// A small file to damage: opening records, a type-17 record at 485 (141
// bytes), a type-3 record at 626 (206 bytes) and an event at 832 (14 bytes).
Bytes Sound() {
  Bytes f = Opening();
  for (const Bytes& r : {Measurement17(), DecodeCases()[1].record, DecodeCases()[5].record})
    f.insert(f.end(), r.begin(), r.end());
  return f;
}

TEST(DatdumpDamage, EachDamageIsReportedWithItsOffset) {
  auto with = [](size_t at, uint8_t v) { Bytes f = Sound(); f[at] = v; return f; };
  const Bytes sound = Sound();
  const std::string before485 = " (the record before, at offset 485, may have a wrong length)";
  const struct {
    const char* name;
    Bytes file;
    size_t listed;
    std::vector<std::string> err;
  } cases[] = {
      {"empty file", {}, 0, {"offset 0: the file is empty: a DAT file opens with its header records"}},
      {"truncated in a record", Bytes(sound.begin(), sound.begin() + 700), 7,
       {"offset 626: type-3 record of 206 bytes runs past the end of the file (74 bytes left)"}},
      {"truncated in a header", Bytes(sound.begin(), sound.begin() + 834), 8,
       {"offset 832: truncated record header: 2 of its 4 bytes before the end of the file (the record before, at offset 626, may have a wrong length)"}},
      {"length one short", with(486, 140), 7,
       {"offset 485: type-17 record: the body of 136 bytes is too short for its fields",
        "offset 625: record marker is 0x7f, not 0x74; 221 bytes not listed" + before485}},
      {"marker", with(626, 0), 7, {"offset 626: record marker is 0x00, not 0x74; 220 bytes not listed" + before485}},
      {"type", with(629, 200), 7, {"offset 626: unknown record type 200; 220 bytes not listed" + before485}},
      {"length below the header", with(833, 2), 8, {"offset 832: record length 2 is shorter than its 4-byte header; 14 bytes not listed"}},
      {"SV count too low", with(505, 1), 9, {"offset 485: type-17 record: 48 bytes after the last field of its layout"}},
      {"byte 2 of a zero-byte type", with(628, 1), 9, {"offset 626: type-3 record: byte 2 of a type-3 record is 1, not 0"}},
      {"event subtype", with(834, 9), 9, {"offset 832: type-19 record: no layout for event subtype 9"}},
      {"event text without its zero", [] { Bytes f = Opening(), r = Rec(19, 3, tb::Le().u16(1).text("AB", 2)); f.insert(f.end(), r.begin(), r.end()); return f; }(),
       7, {"offset 485: type-19 record: the event text has no terminating zero"}},
      {"header subtype of another length", with(2, 0x81), 9, {"offset 0: type-5 record: a header record of subtype 1 is 65 bytes long, not 24",
                                                              "offset 0: record 1 should be the header record of subtype 6 and length 24, found type 5 of length 24"}},
      {"no opening records", Bytes(sound.begin() + 485, sound.end()), 3,
       {"offset 0: record 1 should be the header record of subtype 6 and length 24, found type 17 of length 141"}},
      {"opening records cut short", Bytes(sound.begin(), sound.begin() + 251), 4, {"offset 251: the file ends after 4 records, inside the opening records"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Dump d = RunDump(c.file);
    EXPECT_EQ(d.exit, 1);
    EXPECT_EQ(d.out.size(), c.listed);
    EXPECT_EQ(d.err, c.err);
  }
  // Every prefix of the sound file ends in a clean listing or a damage report.
  for (size_t cut = 0; cut < sound.size(); cut += 37) {
    const Dump d = RunDump(Bytes(sound.begin(), sound.begin() + cut));
    EXPECT_EQ(d.exit, 1) << cut;
    EXPECT_EQ(d.err.size(), 1u) << cut;
  }
}

TEST(DatdumpCommandLine, UsageErrorsAndUnreadableFilesExitWithTwo) {
  const std::string dir = tb::MakeTempDir(), file = dir + "/a.dat";
  tb::WriteFile(file, Opening());
  const struct {
    std::vector<std::string> args;
    int exit;
    std::string output;  // the start of the first output line
  } cases[] = {
      {{}, 2, "Usage: datdump"},
      {{"--bogus", file}, 2, "datdump: unknown option --bogus"},
      {{file, file}, 2, "datdump: one file at a time"},
      {{dir + "/missing.dat"}, 2, "datdump: cannot open " + dir + "/missing.dat"},
      {{dir}, 2, "datdump: cannot read " + dir},
      {{"--help"}, 0, "Usage: datdump"},
      {{"--", file}, 0, "offset=0 type=5 subtype=6"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args.empty() ? "(none)" : c.args[0]);
    const tt::ToolRun run = tt::RunTool("datdump", c.args, true);
    EXPECT_EQ(run.exitStatus, c.exit);
    EXPECT_EQ(run.out.substr(0, c.output.size()), c.output);
  }
  tb::RemoveTree(dir);
}

// A DAT file that logsplit wrote from a whole session lists cleanly; the
// header records that the finalisation wrote carry the session's values,
// and the first epoch came in two raw records (SVs 1 and 2, then 3). (The
// writer's own layouts are checked byte by byte with the writer; one file
// is enough to show that the two agree.)
TEST(DatdumpConverted, SessionThatLogsplitWrote) {
  tb::Conversion conv;
  conv.input = tb::SessionImage({}).bytes();
  ASSERT_EQ(conv.Run(), 0);
  const Dump d = RunDump(conv.Dat());
  EXPECT_EQ(d.exit, 0);
  EXPECT_TRUE(d.err.empty());
  ASSERT_GT(d.out.size(), 6u);
  const std::pair<size_t, std::string> expected[] = {
      {1, R"(station="PHA7" ref_kind=1 lat_deg=49.21875 lon_deg=-77.34375 height_m=312.375 antenna_height_m=1.5625 antenna_unit=2 name_present=1 )"},
      {1, R"( name="ALPHA7")"},
      {2, R"(name_tail="285N" schedule_specified=1 schedule_start_min=480 schedule_stop_min=1020 logging_start_min=485 logging_stop_min=1015 week=1500 year=2008 month=10 day=11 sync_rate_s=15 elevation_mask_deg=15 min_svs=4 )"},
      {2, R"(t1="XYZ" d1=-123456 w1=0x01020304 w2=0x0a0b0c0d w3=0x00000007 a10=106)"},
      {3, R"(nav_version=102 sig_version=205 download_version=[3 11 1] antenna_serial="     12345" receiver_serial="0000012345" type_code=29 )"},
      {3, "d2=-2.5 w4=0xcafebabe h1=0x1234 a6=97 a11=107"},
      {4, "best_pdop=99.9 "},
      {4, "mean_height_m=300.375 mean2_lat_deg=54 mean2_lon_deg=72 mean_count=1234 mean2_count=56"},
      {5, "values=[0.0625 0.125 0.1875 0.25 0.3125 0.375 0.4375 0.5 0.5625 0.625 0.6875] value12=-3 value13=17 value14=61440 tail=b0b1b2b3b4b5b6b7"},
  };
  for (const auto& [line, text] : expected) EXPECT_NE(d.out[line].find(text), std::string::npos) << d.out[line];
  std::vector<std::string> epochs;  // "time/SV count" of the type-17 lines
  for (const std::string& l : d.out)
    if (l.find(" type=17 ") != std::string::npos)
      epochs.push_back(std::to_string(std::stoi(l.substr(l.find("tow_s=") + 6))) + "/" +
                       l.substr(l.find("sv_count=") + 9, 1));
  EXPECT_EQ(epochs, (std::vector<std::string>{"602100/3", "602130/4", "2700/1"}));
  static_assert(tb::session::kEpochs[2] == 2700000);
}

}  // namespace
