// File: tests/terminal/decoding_test.cpp
//
// Pure decoding: machine-number text, calendar validity, the new-model
// stream, old-model record frames and the reference-table image.
#include <gtest/gtest.h>

#include <string>

#include "terminal/frames.h"
#include "terminal/machine_number.h"
#include "terminal/record_decoder.h"
#include "terminal/refer_image.h"

namespace mvcomm::terminal {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(MachineNumber, ClassifiesTexts) {
  struct Case {
    std::string text;
    MachineNumberText kind;
    std::int32_t number;
  };
  const Case cases[] = {
      {"0", MachineNumberText::kValid, 0},
      {"5", MachineNumberText::kValid, 5},
      {" 258 ", MachineNumberText::kValid, 258},
      {"+7", MachineNumberText::kValid, 7},
      {"00012", MachineNumberText::kValid, 12},
      {"65535", MachineNumberText::kValid, 65535},
      {"", MachineNumberText::kNotANumber, 0},
      {" ", MachineNumberText::kNotANumber, 0},
      {"abc", MachineNumberText::kNotANumber, 0},
      {"5a", MachineNumberText::kNotANumber, 0},
      {"-", MachineNumberText::kNotANumber, 0},
      {".", MachineNumberText::kNotANumber, 0},
      {"1e", MachineNumberText::kNotANumber, 0},
      {"5 5", MachineNumberText::kNotANumber, 0},
      {"65536", MachineNumberText::kOutOfRange, 0},
      {"70000", MachineNumberText::kOutOfRange, 0},
      {"-1", MachineNumberText::kOutOfRange, 0},
      {"5.5", MachineNumberText::kOutOfRange, 0},
      {"1e3", MachineNumberText::kOutOfRange, 0},
      // 2^32 + 5 must not wrap around to terminal 5.
      {"4294967301", MachineNumberText::kOutOfRange, 0},
      {"99999999999999999999", MachineNumberText::kOutOfRange, 0},
      {std::string(10240, '7'), MachineNumberText::kOutOfRange, 0},
      {std::string(10240, 'x'), MachineNumberText::kNotANumber, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text.substr(0, 30));
    std::int32_t n = -99;
    EXPECT_EQ(parseMachineNumber(c.text, n), c.kind);
    if (c.kind == MachineNumberText::kValid) EXPECT_EQ(n, c.number);
    else EXPECT_EQ(n, -99);  // untouched
  }
}

// The calendar itself is tested with platform/civil_date.h; here the
// terminal class's own range (years 1 to 9999) and the time fields.
TEST(Calendar, ValidityAtTheEdges) {
  struct Case {
    Date date;
    bool valid;
  };
  const Case cases[] = {{{1, 1, 1}, true},        {{0, 12, 31}, false},   {{9999, 12, 31}, true},
                        {{10000, 1, 1}, false},   {{1900, 2, 29}, false}, {{2000, 2, 29}, true},
                        {{2002, 13, 1}, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.date.toString());
    EXPECT_EQ(c.date.isValid(), c.valid);
  }
  EXPECT_FALSE((DateTime{{2002, 1, 1}, 24, 0, 0}.isValid()));
  EXPECT_FALSE((DateTime{{2002, 1, 1}, 0, 60, 0}.isValid()));
  EXPECT_TRUE((DateTime{{2002, 1, 1}, 23, 59, 59}.isValid()));
  EXPECT_EQ((DateTime{{2002, 10, 27}, 14, 30, 0}.toString()), "2002-10-27 14:30:00");
}

// The documented example: a date frame and a record frame of two records,
// as written there with zero CRC bytes and no EOT frame.
const Bytes kExampleAsWritten = {0x02, 0xBB, 0x00, 0x66, 0x0A, 0x1B, 0x03, 0x00, 0x00, 0x02, 0x08, 0x00,
                                 0x01, 0x02, 0x4E, 0x1E, 0x04, 0xD2, 0x85, 0x2D, 0x03, 0x00, 0x00};

// The same frames as a terminal sends them: CRCs filled in, the last
// frame ending in EOT.
Bytes exampleStream() {
  Bytes s = dataFrame(kKindDate, Bytes{0x66, 0x0A, 0x1B}, false);
  Frame r = dataFrame(8, Bytes{0x01, 0x02, 0x4E, 0x1E, 0x04, 0xD2, 0x85, 0x2D}, true);
  s.insert(s.end(), r.begin(), r.end());
  return s;
}

TEST(NewModelStream, DecodesTheDocumentedExample) {
  std::vector<str_record> out;
  ASSERT_EQ(decodeNewModelStream(exampleStream(), out), FrameCheck::kWhole);
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(out[0].employeeid, 258);
  EXPECT_EQ(out[0].workclass, "3");
  EXPECT_EQ(out[0].cardedtime, (DateTime{{2002, 10, 27}, 14, 30, 0}));
  EXPECT_EQ(out[1].employeeid, 1234);
  EXPECT_EQ(out[1].workclass, "5");
  EXPECT_EQ(out[1].cardedtime, (DateTime{{2002, 10, 27}, 5, 45, 0}));
}

TEST(NewModelStream, TheExampleAsWrittenNeedsOnlyItsEotFrame) {
  std::vector<str_record> out;
  EXPECT_EQ(decodeNewModelStream(kExampleAsWritten, out), FrameCheck::kCutShort);
  // Its zero check bytes are a form of their own.
  Bytes ended = kExampleAsWritten;
  ended[20] = kEot;
  out.clear();
  CrcEvidence evidence;
  EXPECT_EQ(decodeNewModelStream(ended, out, evidence), FrameCheck::kWhole);
  EXPECT_EQ(out.size(), 2u);
  ASSERT_TRUE(evidence.form());
  EXPECT_EQ(crcFormName(*evidence.form()), "zero");
}

TEST(NewModelStream, HeaderDatesAndRecordsBeforeAnyDate) {
  Bytes s;
  auto add = [&](const Frame& f) { s.insert(s.end(), f.begin(), f.end()); };
  const Bytes rec1{0x00, 0x07, 0x01, 0x02};  // class 1, 01:02
  add(dataFrame(kKindHeader, Bytes{0x00, 0x08}, false));
  add(dataFrame(8, Bytes{0x00, 0x01, 0x01, 0x02, 0x00, 0x02, 0x01, 0x03}, false));
  add(dataFrame(kKindDate, Bytes{0x7C, 0x02, 0x1D}, false));  // 2024-02-29
  add(dataFrame(4, rec1, true));
  std::vector<str_record> out;
  ASSERT_EQ(decodeNewModelStream(s, out), FrameCheck::kWhole);
  ASSERT_EQ(out.size(), 3u);
  EXPECT_EQ(out[0].cardedtime, (DateTime{{1900, 1, 1}, 1, 2, 0}));
  EXPECT_EQ(out[1].cardedtime, (DateTime{{1900, 1, 1}, 1, 3, 0}));
  EXPECT_EQ(out[2].cardedtime, (DateTime{{2024, 2, 29}, 1, 2, 0}));
}

TEST(NewModelStream, OutOfRangeTimesAndDatesKeepTheRecordWithNullTime) {
  Bytes s;
  auto add = [&](const Frame& f) { s.insert(s.end(), f.begin(), f.end()); };
  add(dataFrame(kKindDate, Bytes{0x66, 0x0A, 0x1B}, false));
  add(dataFrame(12, Bytes{0x00, 0x01, 0x18, 0x00,    // hour 24
                          0x00, 0x02, 0x17, 0x3C,    // minute 60
                          0x00, 0x03, 0x17, 0x3B},   // 23:59, fine
                false));
  add(dataFrame(kKindDate, Bytes{0x66, 0x0D, 0x01}, false));  // month 13
  add(dataFrame(4, Bytes{0x00, 0x04, 0x00, 0x00}, true));
  std::vector<str_record> out;
  ASSERT_EQ(decodeNewModelStream(s, out), FrameCheck::kWhole);
  ASSERT_EQ(out.size(), 4u);
  EXPECT_FALSE(out[0].cardedtime.has_value());
  EXPECT_FALSE(out[1].cardedtime.has_value());
  EXPECT_EQ(out[2].cardedtime, (DateTime{{2002, 10, 27}, 23, 59, 0}));
  EXPECT_FALSE(out[3].cardedtime.has_value());
  EXPECT_EQ(out[3].employeeid, 4);
}

TEST(NewModelStream, EveryPrefixIsCutShort) {
  // The vector copy makes ASan see a read past the prefix.
  const Bytes whole = exampleStream();
  for (std::size_t n = 0; n < whole.size(); ++n) {
    SCOPED_TRACE(n);
    Bytes prefix(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(n));
    std::vector<str_record> out;
    EXPECT_EQ(decodeNewModelStream(prefix, out), FrameCheck::kCutShort);
  }
  // Whole frames without the EOT frame: stopped early as well.
  Frame date = dataFrame(kKindDate, Bytes{0x66, 0x0A, 0x1B}, false);
  std::vector<str_record> out;
  EXPECT_EQ(decodeNewModelStream(date, out), FrameCheck::kCutShort);
}

TEST(NewModelStream, EveryDamagedByteIsRefused) {
  // Any one byte changed inside the frames: the stream is never taken as
  // whole (a changed control byte may make it look cut short instead).
  const Bytes whole = exampleStream();
  for (std::size_t i = 0; i < whole.size(); ++i) {
    for (std::uint8_t mask : {0x01, 0x80, 0xFF}) {
      SCOPED_TRACE(std::to_string(i) + " ^ " + std::to_string(mask));
      Bytes bad = whole;
      bad[i] ^= mask;
      std::vector<str_record> out;
      EXPECT_NE(decodeNewModelStream(bad, out), FrameCheck::kWhole);
    }
  }
}

TEST(NewModelStream, BytesAfterTheEotFrameAreIgnored) {
  Bytes s = exampleStream();
  s.insert(s.end(), {0x00, 0x02, 0xBB});
  std::vector<str_record> out;
  EXPECT_EQ(decodeNewModelStream(s, out), FrameCheck::kWhole);
  EXPECT_EQ(out.size(), 2u);
}

TEST(DataFrame, ControlByteCountsWholeRecordsAndSkipsARemainder) {
  struct Case {
    std::uint8_t k;
    std::size_t records;
  };
  constexpr Case cases[] = {{0, 0}, {1, 0}, {3, 0}, {4, 1}, {6, 1}, {8, 2}, {200, 50}, {0xFE, 63}};
  for (const Case& c : cases) {
    SCOPED_TRACE(int(c.k));
    Bytes payload(c.k, 0x11);
    Frame f = dataFrame(c.k, payload, true);
    std::vector<str_record> out;
    EXPECT_EQ(decodeNewModelStream(f, out), FrameCheck::kWhole);
    EXPECT_EQ(out.size(), c.records);
  }
}

TEST(DataFrame, ChecksLengthAndEndByteOnly) {
  const Frame f = dataFrame(8, Bytes{0x01, 0x02, 0x4E, 0x1E, 0x04, 0xD2, 0x85, 0x2D}, false);
  std::size_t length = 0;
  ASSERT_EQ(checkDataFrame(f, length), FrameCheck::kWhole);
  EXPECT_EQ(length, 14u);
  for (std::size_t n = 0; n < f.size(); ++n) {
    Bytes cut(f.begin(), f.begin() + static_cast<std::ptrdiff_t>(n));
    EXPECT_EQ(checkDataFrame(cut, length), FrameCheck::kCutShort) << n;
  }
  Bytes wrongEnd = f;
  wrongEnd[11] = 0x05;
  EXPECT_EQ(checkDataFrame(wrongEnd, length), FrameCheck::kDamaged);
  // Start byte, the byte after K and the check bytes are not the frame's
  // structure: the check is judged over the whole transfer.
  for (std::size_t i : {0u, 2u, 13u}) {
    Bytes other = f;
    other[i] ^= 0x5A;
    EXPECT_EQ(checkDataFrame(other, length), FrameCheck::kWhole) << i;
  }
}

TEST(CrcEvidence, AFormIsTheTerminalsWhenItFitsHalfTheFramesOrThree) {
  // `fits` of `frames` fit form 0 and nothing else fits the others.
  struct Case {
    std::uint32_t fits;
    std::uint32_t frames;
    CrcVerdict verdict;
  };
  constexpr Case cases[] = {
      {0, 0, CrcVerdict::kSound},         {1, 1, CrcVerdict::kSound},
      {0, 1, CrcVerdict::kUnknownForm},   {0, 50, CrcVerdict::kUnknownForm},
      {1, 2, CrcVerdict::kDamaged},       {1, 3, CrcVerdict::kUnknownForm},
      {2, 4, CrcVerdict::kDamaged},       {2, 5, CrcVerdict::kUnknownForm},
      {2, 600, CrcVerdict::kUnknownForm}, {3, 600, CrcVerdict::kDamaged},
      {600, 600, CrcVerdict::kSound},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.fits) + " of " + std::to_string(c.frames));
    CrcEvidence e;
    for (std::uint32_t i = 0; i < c.frames; ++i) e.add(i < c.fits ? 1 : 0);
    EXPECT_EQ(e.verdict(), c.verdict);
    EXPECT_EQ(e.form().has_value(), c.verdict != CrcVerdict::kUnknownForm && c.frames > 0);
  }
  // Where several forms fit, the one that fits most frames is the terminal's.
  CrcEvidence e;
  e.add(0b011);
  e.add(0b010);
  e.add(0b110);
  EXPECT_EQ(e.form(), std::optional<std::size_t>(1));
  EXPECT_EQ(e.verdict(), CrcVerdict::kSound);
}

TEST(CrcForms, TheHostsOwnFormFitsItsFramesAndBlockReplies) {
  const Frame f = dataFrame(8, Bytes{0x01, 0x02, 0x4E, 0x1E, 0x04, 0xD2, 0x85, 0x2D}, true);
  EXPECT_EQ(crcFormName(static_cast<std::size_t>(__builtin_ctz(dataFrameCrcForms(f)))), "arc-frame");
  Bytes reply{0x02, 0xBC};
  for (int i = 0; i < 16; ++i) reply.push_back(static_cast<std::uint8_t>(i * 17));
  Frame sealed = reply;
  appendCrc(sealed);
  EXPECT_TRUE(crcFormFits(0, sealed, blockReplyLayout()));
  // Too short to hold the check: fits nothing.
  EXPECT_EQ(fittingCrcForms(Bytes(sealed.begin(), sealed.end() - 1), blockReplyLayout()), 0);
}

TEST(OldModelFrame, DecodesItsRecords) {
  Frame f = dataFrame(8, Bytes{0x01, 0x02, 0x4E, 0x1E, 0x04, 0xD2, 0x85, 0x2D}, false);
  std::vector<str_record> out;
  decodeOldModelRecords(f, {2002, 10, 27}, out);
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(out[1].cardedtime, (DateTime{{2002, 10, 27}, 5, 45, 0}));
  // Header and date frames carry no records; a frame cut short gives none.
  out.clear();
  decodeOldModelRecords(dataFrame(kKindHeader, Bytes{0x00, 0x08}, false), {2002, 10, 27}, out);
  decodeOldModelRecords(Bytes(f.begin(), f.end() - 1), {2002, 10, 27}, out);
  EXPECT_TRUE(out.empty());
}

TEST(ReferImage, BuildsTheDocumentedImage) {
  const str_referrecord rows[] = {{7, 16909060}, {258, 5}};
  EXPECT_EQ(buildReferImage(rows),
            (Bytes{0xFF, 0xFF, 0x04, 0x03, 0x02, 0x01, 0x07, 0x00, 0x05, 0x00, 0x00, 0x00, 0x02, 0x01}));
}

TEST(ReferImage, ParseSkipsEmptySlotsAndPartialRows) {
  const str_referrecord rows[] = {{7, 16909060}, {0, 9}, {65535, 9}, {5, 0}, {5, 65535}, {258, 5},
                                  {1, -1}};
  Bytes image = buildReferImage(rows);
  auto back = parseReferImage(image);
  ASSERT_EQ(back.size(), 3u);
  EXPECT_EQ(back[0].employeeid, 7);
  EXPECT_EQ(back[0].cardid, 16909060);
  EXPECT_EQ(back[1].employeeid, 258);
  EXPECT_EQ(back[1].cardid, 5);
  EXPECT_EQ(back[2].cardid, -1);  // FF FF FF FF is a card number, not an empty slot
  // A row without its employee bytes reads them as 0 and is skipped.
  for (std::size_t cut = 2; cut < 7; ++cut) {
    Bytes partial(image.begin(), image.begin() + static_cast<std::ptrdiff_t>(cut));
    EXPECT_TRUE(parseReferImage(partial).empty()) << cut;
  }
}

}  // namespace
}  // namespace mvcomm::terminal
