#include "datafiles/program_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <thread>

#include "support/file_refusal_checks.h"
#include "support/image_builders.h"
#include "support/image_bytes.h"
#include "support/virtual_unit_fixture.h"

namespace rv4410 {
namespace {

using test::Bytes;
using test::ChecksumLayout;
using test::ExpectShownRefusal;
using test::ProgramImagePlan;

class ProgramFileTest : public test::VirtualUnitTest {
 protected:
  ImageRead ReadText(const std::string& text) {
    test::WriteFile(path, text);
    return ReadProgramFile(host, files.loadedImage, path.c_str());
  }
  Bytes Image() const { return test::ImageBytes(files.loadedImage); }
  // The image after its 16-byte header.
  Bytes Tail() const {
    Bytes image = Image();
    return Bytes(image.begin() + 16, image.end());
  }
  // Reads `image` as a file and checks it; the read must succeed. Nothing
  // when the check passes.
  std::optional<FileRefusal> ReadAndCheck(const Bytes& image) {
    EXPECT_EQ(ReadText(test::HexText(image)).length, static_cast<int>(image.size()));
    return Check();
  }
  std::optional<FileRefusal> Check() { return CheckProgramImage(files.loadedImage, path.c_str()); }
  std::string CrcError() const { return "File '" + path + "' has CRC Error."; }

  std::string path = dir.File("program.hex");
  DataFiles files;
};

// A header of 16 bytes saying `length`, as hex text.
std::string HeaderSaying(std::int32_t length) {
  Bytes header(16, 0xAB);
  test::PutBig32(header, 8, static_cast<std::uint32_t>(length));
  return test::HexText(header);
}

TEST_F(ProgramFileTest, InertLettersTakeAPositionAndALoneLastDigitKeepsItsValue) {
  // "5G" and "G5" give 05; "0x" makes a byte of its own; a final lone digit stays 0x0C.
  std::string text = HeaderSaying(24) + "5G G5 0x12 zz 7 C";
  ASSERT_EQ(ReadText(text).length, 24);
  Bytes image = Image();
  Bytes tail(image.begin() + 16, image.end());
  EXPECT_EQ(tail, (Bytes{0x05, 0x05, 0x00, 0x12, 0x00, 0x7C, 0x00, 0x00}));
  ASSERT_EQ(ReadText(HeaderSaying(20) + "9").length, 20);
  EXPECT_EQ(Image()[16], 0x09);
}

TEST_F(ProgramFileTest, CaseAndSeparatorsAnywhereMakeNoDifference) {
  Bytes image = test::BuildProgramImage({});
  std::string plain = test::HexText(image, 1u << 30);
  std::string messy;
  for (std::size_t i = 0; i < plain.size(); ++i) {
    char c = plain[i];
    messy += i % 3 == 0 ? static_cast<char>(std::tolower(c)) : c;
    messy += i % 5 == 0 ? " \t" : (i % 7 == 0 ? "\r\n:-," : "");
    if (i % 11 == 0) messy += '\xC3';
  }
  ImageRead read = ReadText(messy);
  ASSERT_EQ(read.length, static_cast<int>(image.size()));
  EXPECT_EQ(Image(), image);
  EXPECT_EQ(read.note, "");
}

TEST_F(ProgramFileTest, HeaderLengthDecidesTheImage) {
  // Exactly 16 bytes: byte 16 never begins. Nothing is said.
  ImageRead read = ReadText(HeaderSaying(40));
  EXPECT_EQ(read.length, -1);
  test::ExpectQuietRefusal(read.refusal, RefusalReason::kNoHeader);
  EXPECT_FALSE(files.loadedImage.HasBuffer());

  // Sixteen is a whole image; what follows is not read.
  ASSERT_EQ(ReadText(HeaderSaying(16) + "0102").length, 16);
  EXPECT_EQ(Image().size(), 16u);

  // Short of the header's length: padded with zeros, and the note says so.
  // Digits after it: ignored.
  read = ReadText(HeaderSaying(20) + "11 22");
  ASSERT_EQ(read.length, 20);
  EXPECT_EQ(Tail(), (Bytes{0x11, 0x22, 0, 0}));
  EXPECT_EQ(read.note, "The file supplies 18 of the image's 20 bytes; the rest is zero");
  read = ReadText(HeaderSaying(18) + "11 22 33 44");
  ASSERT_EQ(read.length, 18);
  EXPECT_EQ(Tail(), (Bytes{0x11, 0x22}));
  EXPECT_EQ(read.note, "");
}

TEST_F(ProgramFileTest, HeaderBelowSixteenIsInvalidAndKeepsTheSlot) {
  ASSERT_EQ(ReadText(HeaderSaying(18) + "1122").length, 18);
  for (std::int32_t length : {0, 15, static_cast<std::int32_t>(0x80000001u)}) {
    ImageRead read = ReadText(HeaderSaying(length) + "00");
    EXPECT_EQ(read.length, -1);
    ExpectShownRefusal(read.refusal, RefusalReason::kInvalidHeader,
                       FormatText("Invalid header (says %d bytes)", length));
    EXPECT_EQ(Image().size(), 18u);
  }
  EXPECT_EQ(ReadText(HeaderSaying(static_cast<std::int32_t>(0x80000001u)) + "00").refusal->text,
            "Invalid header (says -2147483647 bytes)");
}

TEST_F(ProgramFileTest, UnopenableFileFailsQuietly) {
  ImageRead read = ReadProgramFile(host, files.loadedImage, dir.File("absent.hex").c_str());
  EXPECT_EQ(read.length, -1);
  test::ExpectQuietRefusal(read.refusal, RefusalReason::kNotOpened);
}

TEST_F(ProgramFileTest, ImageTooLargeForMemoryIsReportedAndEmptiesTheSlot) {
  ASSERT_EQ(ReadText(HeaderSaying(18) + "1122").length, 18);
  files.loadedImage.allocationLimit = 1 << 20;
  // The file supplies more bytes than the slot may hold.
  ImageRead read = ReadText(HeaderSaying((1 << 20) + 1) + std::string(2 << 20, '0'));
  EXPECT_EQ(read.length, -1);
  ExpectShownRefusal(read.refusal, RefusalReason::kNoMemory, "Could not allocate 1048577 bytes.");
  EXPECT_FALSE(files.loadedImage.HasBuffer());
}

// A 650-digit file whose header claims 0x7FFFFFFF bytes: an image of that
// length, zero beyond the file, in memory no larger than the file. The older
// layout with an empty checked range passes; the newer layout's CRC over the
// whole claimed length refuses it.
TEST_F(ProgramFileTest, AClaimFarBeyondTheFileTakesMemoryForTheFileOnly) {
  files.loadedImage.allocationLimit = 1 << 20;
  for (bool newerLayout : {false, true}) {
    Bytes image = test::PatternBytes(325, 5);
    test::PutBig32(image, 8, 0x7FFFFFFFu);
    test::PutBig32(image, 16, 0);             // E: nothing to check in the older layout
    test::PutBig32(image, 212, 0);            // absent, so 224 is expected ...
    test::PutBig32(image, 224, 0xFFFFFFFFu);  // ... and matches the empty range
    test::PutBig32(image, 244, newerLayout ? 0x12345678u : 0);
    test::PutBig32(image, 248, 0);
    test::PutBig32(image, 252, 0);
    ImageRead read = ReadText(test::HexText(image));
    ASSERT_EQ(read.length, 0x7FFFFFFF) << newerLayout;
    const LoadedImage& slot = files.loadedImage;
    EXPECT_EQ(slot.Size(), 0x7FFFFFFFu);
    EXPECT_EQ(slot.Held(), image.size());
    EXPECT_EQ(slot.At(324), image[324]);
    EXPECT_EQ(slot.At(325), 0);
    EXPECT_EQ(slot.At(0x7FFFFFFEu), 0);
    EXPECT_EQ(read.note, "The file supplies 325 of the image's 2147483647 bytes; the rest is zero");
    std::optional<FileRefusal> refusal = Check();
    if (newerLayout) {
      ExpectShownRefusal(refusal, RefusalReason::kCrcError, CrcError());
    } else {
      EXPECT_FALSE(refusal);
    }
  }
}

#if !defined(_WIN32)  // POSIX pipes
// A stream that cannot tell its size (a pipe) gets room as its bytes come.
TEST_F(ProgramFileTest, AStreamOfUnknownSizeIsReadWhole) {
  Bytes image = test::BuildProgramImage({.length = 300 << 10});
  std::string text = test::HexText(image);
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  std::thread writer([&] {
    for (std::size_t at = 0; at < text.size();) {
      ssize_t n = write(fds[1], text.data() + at, text.size() - at);
      if (n <= 0) break;
      at += static_cast<std::size_t>(n);
    }
    close(fds[1]);
  });
  std::FILE* stream = fdopen(fds[0], "r");
  EXPECT_EQ(ReadProgramStream(host, files.loadedImage, stream).length,
            static_cast<int>(image.size()));
  std::fclose(stream);
  writer.join();
  EXPECT_EQ(Image(), image);
  EXPECT_EQ(files.loadedImage.Held(), image.size());
}
#endif

TEST_F(ProgramFileTest, BothLayoutsPassTheirChecks) {
  for (ChecksumLayout layout :
       {ChecksumLayout::kNewer, ChecksumLayout::kOlder, ChecksumLayout::kOlderFallback}) {
    ProgramImagePlan plan;
    plan.layout = layout;
    plan.length = 3000;
    plan.olderEnd = layout == ChecksumLayout::kNewer ? 0 : 2000;
    EXPECT_FALSE(ReadAndCheck(test::BuildProgramImage(plan))) << static_cast<int>(layout);
    plan.controlBlockCrc = false;  // an absent block check is not made
    EXPECT_FALSE(ReadAndCheck(test::BuildProgramImage(plan))) << static_cast<int>(layout);
  }
}

TEST_F(ProgramFileTest, LoaderVersionWordIsRefusedWhenPresent) {
  for (std::uint32_t version : {0u, 0xFFFFFFFFu}) {
    ProgramImagePlan plan;
    plan.loaderVersion = version;
    EXPECT_FALSE(ReadAndCheck(test::BuildProgramImage(plan)));
  }
  for (std::uint32_t version : {1u, 0x80000000u}) {
    ProgramImagePlan plan;
    plan.loaderVersion = version;
    ExpectShownRefusal(ReadAndCheck(test::BuildProgramImage(plan)), RefusalReason::kLoaderVersion,
                       "Cannot load this program file", "Loader Version Error");
  }
}

TEST_F(ProgramFileTest, OlderLayoutTakesOffset224OnlyWhen212IsAbsent) {
  ProgramImagePlan plan;
  plan.layout = ChecksumLayout::kOlderFallback;
  Bytes image = test::BuildProgramImage(plan);
  // A wrong value at 224 is not looked at while 212 holds the right one.
  Bytes with212 = image;
  test::PutBig32(with212, 212, test::GetBig32(image, 224));
  test::PutBig32(with212, 224, 0x12345678u);
  test::SealControlBlock(with212);
  EXPECT_FALSE(ReadAndCheck(with212));
  // With 212 absent, 224 is used: a wrong value there fails.
  Bytes wrong224 = image;
  test::PutBig32(wrong224, 224, 0x12345678u);
  test::SealControlBlock(wrong224);
  ExpectShownRefusal(ReadAndCheck(wrong224), RefusalReason::kCrcError, CrcError());
}

TEST_F(ProgramFileTest, EmptyOlderRangeExpectsAllOnes) {
  ProgramImagePlan plan;
  plan.layout = ChecksumLayout::kOlder;
  plan.olderEnd = 200;  // at or below 256: nothing to check
  Bytes image = test::BuildProgramImage(plan);
  EXPECT_EQ(test::GetBig32(image, 212), 0xFFFFFFFFu);
  test::PutBig32(image, 212, 0);  // absent, and 224 says all ones
  test::PutBig32(image, 224, 0xFFFFFFFFu);
  test::SealControlBlock(image);
  EXPECT_FALSE(ReadAndCheck(image));
}

TEST_F(ProgramFileTest, OlderEndBeyondTheImageIsACrcError) {
  ProgramImagePlan plan;
  plan.layout = ChecksumLayout::kOlder;
  plan.length = 1024;
  Bytes image = test::BuildProgramImage(plan);
  test::PutBig32(image, 16, 1025);
  test::SealControlBlock(image);
  ExpectShownRefusal(ReadAndCheck(image), RefusalReason::kCrcError, CrcError());
}

TEST_F(ProgramFileTest, ChangedProgramByteIsACrcErrorWhateverTheLayout) {
  for (ChecksumLayout layout : {ChecksumLayout::kNewer, ChecksumLayout::kOlder}) {
    ProgramImagePlan plan;
    plan.layout = layout;
    Bytes image = test::BuildProgramImage(plan);
    image[700] ^= 0x01;
    ExpectShownRefusal(ReadAndCheck(image), RefusalReason::kCrcError, CrcError());
  }
}

// The setup page checks only images of 256 bytes or more; a shorter one
// holds no control block to read the fields from.
TEST_F(ProgramFileTest, ImageShorterThanAControlBlockFailsTheCheck) {
  ASSERT_EQ(ReadText(HeaderSaying(100) + "00").length, 100);
  ExpectShownRefusal(Check(), RefusalReason::kCrcError, CrcError());
}

TEST_F(ProgramFileTest, TruncatedFileIsPaddedAndFailsItsCrc) {
  Bytes image = test::BuildProgramImage({});
  Bytes half(image.begin(), image.begin() + 600);
  ASSERT_EQ(ReadText(test::HexText(half)).length, static_cast<int>(image.size()));
  EXPECT_EQ(Image()[600], 0);
  ExpectShownRefusal(Check(), RefusalReason::kCrcError, CrcError());
}

// Byte 251, the last of the loader-version word, is outside the block check:
// a check over 252 bytes (or 250) does not match, one over 251 does.
TEST_F(ProgramFileTest, ControlBlockCheckCoversOffsets0To250Only) {
  Bytes image = test::BuildProgramImage({});
  EXPECT_FALSE(ReadAndCheck(image));
  std::string blockError = "File '" + path + "' Control Block CRC Error.";
  for (std::size_t covered : {250u, 252u}) {
    Bytes other = image;
    test::PutBig32(other, 252, test::ReferenceCrc(other.data(), covered));
    ExpectShownRefusal(ReadAndCheck(other), RefusalReason::kCrcError, blockError);
  }
  Bytes changed100 = image;
  changed100[100] ^= 0x01;
  ExpectShownRefusal(ReadAndCheck(changed100), RefusalReason::kCrcError, blockError);
}

}  // namespace
}  // namespace rv4410
