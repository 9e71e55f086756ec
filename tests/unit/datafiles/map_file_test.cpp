#include "datafiles/map_file.h"

#include <gtest/gtest.h>

#include <cstring>

#include "datafiles/ordinal_date.h"
#include "support/file_refusal_checks.h"
#include "support/image_builders.h"
#include "support/virtual_unit_fixture.h"

namespace rv4410 {
namespace {

using test::Bytes;
using test::ExpectShownRefusal;
using test::MapFilePlan;

// Today, for every test here: 10 April 2026, day 100.
constexpr OrdinalDate kToday = 26100;

class MapFileTest : public test::VirtualUnitTest {
 protected:
  ImageRead Read(const Bytes& file) {
    test::WriteFile(path, test::AsString(file));
    return MapFileReader(host, files, path.c_str()).Read();
  }
  static MapFilePlan WithData(std::size_t length, std::uint32_t seed = 11) {
    MapFilePlan plan;
    plan.data = test::PatternBytes(length, seed);
    return plan;
  }
  // The date boxes of the file `plan` makes, today being kToday.
  static MapDates DatesOf(const MapFilePlan& plan) {
    Bytes file = test::BuildMapFile(plan);
    MapHeader header;
    std::copy(file.begin(), file.begin() + kMapHeaderSize, header.bytes.begin());
    return MapDatesFor(header, test::LocalNoon(2026, 100));
  }
  static std::vector<std::string> WarningTexts(const MapDates& dates) {
    std::vector<std::string> texts;
    for (const MessageBoxRequest& box : dates.warnings) texts.push_back(box.text);
    return texts;
  }
  // The read error (1) to (7) of a read that came up short.
  std::string ShortRead(int which) const {
    std::string place = " on File " + path + " (" + std::to_string(which) + ")";
    return (which <= 4 ? "0 -- " : "(0) ") + std::string(std::strerror(0)) + place;
  }

  std::string path = dir.File("map.bin");
  DataFiles files;
};

TEST_F(MapFileTest, ReadsImageHeaderAndControlBlock) {
  MapFilePlan plan = WithData(5000);
  plan.furtherBytes = 300;
  plan.featureMask = 0x24;
  Bytes file = test::BuildMapFile(plan);
  ASSERT_EQ(Read(file).length, 5000);

  const LoadedImage& image = files.loadedImage;
  EXPECT_EQ(Bytes(image.Data(), image.Data() + image.Size()), plan.data);
  EXPECT_EQ(image.length, 5000);
  EXPECT_EQ(files.mapHeader.FeatureMask(), 0x24u);
  EXPECT_EQ(files.mapHeader.DataLength(), 5000u);
  EXPECT_EQ(files.mapHeader.TotalLength(), file.size());
  Bytes block(files.mapControlBlock.bytes.begin(), files.mapControlBlock.bytes.end());
  Bytes expected(file.begin() + 64, file.begin() + 320);
  test::PutBig32(expected, 244, 5000);
  // The data CRC covers the map data alone.
  test::PutBig32(expected, 248, test::ReferenceCrc(plan.data.data(), plan.data.size()));
  EXPECT_EQ(block, expected);
}

TEST_F(MapFileTest, TheValidityRangeIsAlwaysACautionNotice) {
  MapDates dates = DatesOf(WithData(10));
  EXPECT_EQ(dates.range.text,
            "Map Data Valid in Date Range below ONLY \n\n    Effective Date 01-JAN-26 \n"
            "    Expiration Date 31-DEC-79");
  EXPECT_EQ(dates.range.caption, "Caution");
  EXPECT_EQ(dates.range.icon, BoxIcon::kWarning);
  EXPECT_EQ(dates.range.buttons, BoxButtons::kOk);
  EXPECT_TRUE(dates.warnings.empty());
}

TEST_F(MapFileTest, FurtherBytesOfAnyCountAreReadAndChecked) {
  for (std::size_t further : {0u, 1u, 255u, 256u, 257u, 512u, 1000u}) {
    MapFilePlan plan = WithData(700);
    plan.furtherBytes = further;
    EXPECT_EQ(Read(test::BuildMapFile(plan)).length, 700) << further;
  }
}

TEST_F(MapFileTest, EmptyMapGivesAnAllOnesDataCrc) {
  ASSERT_EQ(Read(test::BuildMapFile(MapFilePlan{})).length, 0);
  EXPECT_EQ(files.loadedImage.Size(), 0u);
  EXPECT_EQ(files.mapControlBlock.Word(244), 0u);
  EXPECT_EQ(files.mapControlBlock.Word(248), 0xFFFFFFFFu);
}

// The conflict is logged before its box shows; the page asks nothing about
// the dates of a file it cannot read.
TEST_F(MapFileTest, FormatOtherThanOneIsRefusedWithTheHeader) {
  MapFilePlan plan = WithData(10);
  plan.format = 2;
  test::WriteFile(path, test::AsString(test::BuildMapFile(plan)));
  std::optional<FileRefusal> refusal = MapFileReader(host, files, path.c_str()).ReadHeader();
  ASSERT_TRUE(refusal.has_value());
  EXPECT_EQ(refusal->reason, RefusalReason::kWrongFormat);
  EXPECT_EQ(refusal->text, "Map File Format Conflict 2");
  EXPECT_EQ(std::string(refusal->caption), "Error");
  EXPECT_EQ(refusal->icon, BoxIcon::kError);
  EXPECT_TRUE(refusal->loggedFirst);
}

TEST_F(MapFileTest, ValidityPeriodIncludesBothOfItsDays) {
  MapFilePlan plan = WithData(10);
  plan.effectiveDate = kToday;
  plan.expirationDate = kToday;
  EXPECT_TRUE(DatesOf(plan).warnings.empty());
}

TEST_F(MapFileTest, OneDayOutsideThePeriodWarns) {
  MapFilePlan early = WithData(10);
  early.effectiveDate = kToday + 1;
  MapDates dates = DatesOf(early);
  ASSERT_EQ(dates.warnings.size(), 1u);
  const MessageBoxRequest& notYet = dates.warnings[0];
  EXPECT_EQ(notYet.text, "   Map Data is NOT YET Valid   \n\n   Will be Valid on 11-APR-26\n ");
  EXPECT_EQ(notYet.caption, "Cancel to Quit, OK to Continue");
  EXPECT_EQ(notYet.icon, BoxIcon::kError);
  EXPECT_EQ(notYet.buttons, BoxButtons::kOkCancel);

  MapFilePlan late = WithData(10);
  late.expirationDate = kToday - 1;
  EXPECT_EQ(WarningTexts(DatesOf(late)),
            std::vector<std::string>{"   Map Data ALREADY Expired   \n\n   Expiration "
                                     "Date 09-APR-26\n "});
}

TEST_F(MapFileTest, TwoDigitYearsBefore80AreThisCentury) {
  MapFilePlan plan = WithData(10);
  plan.effectiveDate = 26001;
  plan.expirationDate = 99365;  // 31 December 1999
  EXPECT_EQ(WarningTexts(DatesOf(plan)),
            std::vector<std::string>{
                "   Map Data ALREADY Expired   \n\n   Expiration Date 31-DEC-99\n "});
}

TEST_F(MapFileTest, BothWarningsComeInOrder) {
  MapFilePlan plan = WithData(10);
  plan.effectiveDate = 27001;
  plan.expirationDate = 25001;
  MapDates dates = DatesOf(plan);
  ASSERT_EQ(dates.warnings.size(), 2u);
  EXPECT_NE(dates.warnings[0].text.find("NOT YET"), std::string::npos);
  EXPECT_NE(dates.warnings[1].text.find("ALREADY"), std::string::npos);
  EXPECT_EQ(dates.warnings[1].caption, "Cancel to Quit, OK to Continue");
}

TEST_F(MapFileTest, FileCutShortFailsAtTheReadItEndsIn) {
  MapFilePlan plan = WithData(1000);
  plan.furtherBytes = 300;  // one whole chunk and a last one of 44
  Bytes file = test::BuildMapFile(plan);
  struct Cut {
    std::size_t keep;
    int which;
    const char* caption;
  };
  std::size_t trailerAt = 320 + 1000;
  std::size_t furtherAt = trailerAt + 1028;
  for (const Cut& cut :
       {Cut{63, 1, "Read Error"}, Cut{64 + 255, 2, "Read Error"}, Cut{320 + 999, 3, "Read Error"},
        Cut{trailerAt + 1027, 4, "Read Error"}, Cut{furtherAt + 255, 5, "Error"},
        Cut{furtherAt + 299, 6, "Error"}, Cut{file.size() - 1, 7, "Read Error"}}) {
    ImageRead read = Read(Bytes(file.begin(), file.begin() + static_cast<long>(cut.keep)));
    EXPECT_EQ(read.length, -1);
    ExpectShownRefusal(read.refusal, RefusalReason::kReadError, ShortRead(cut.which), cut.caption);
  }
  EXPECT_EQ(ShortRead(7), "(0) Success on File " + path + " (7)");
}

// R = T - L - 1352 wraps round: the reader takes chunks until the file ends.
TEST_F(MapFileTest, TotalBelowTheFixedPartsFailsInTheFurtherBytes) {
  MapFilePlan plan = WithData(600);
  plan.furtherBytes = 700;
  plan.overrideTotalLength = true;
  plan.totalLength = 600 + 1000;
  ExpectShownRefusal(Read(test::BuildMapFile(plan)).refusal, RefusalReason::kReadError,
                     ShortRead(5));
}

TEST_F(MapFileTest, AnyChangedByteIsACrcError) {
  MapFilePlan plan = WithData(2000);
  plan.furtherBytes = 100;
  Bytes file = test::BuildMapFile(plan);
  for (std::size_t at :
       {std::size_t{4}, std::size_t{63}, std::size_t{64}, std::size_t{319}, std::size_t{320},
        std::size_t{2319}, std::size_t{2320}, file.size() - 5, file.size() - 1}) {
    Bytes changed = file;
    changed[at] ^= 0x08;
    ImageRead read = Read(changed);
    EXPECT_EQ(read.length, -1) << at;
    ExpectShownRefusal(read.refusal, RefusalReason::kCrcError, "CRC Error on File " + path);
  }
}

TEST_F(MapFileTest, StoredCrcIsLittleEndian) {
  Bytes file = test::BuildMapFile(WithData(64));
  std::uint32_t crc = test::ReferenceCrc(file.data(), file.size() - 4);
  EXPECT_EQ(file[file.size() - 4], static_cast<std::uint8_t>(crc));
  EXPECT_EQ(Read(file).length, 64);
}

// A damaged header that claims gigabytes of data must not take them.
TEST_F(MapFileTest, DataLengthBeyondTheFileFailsWithoutTakingMemory) {
  files.loadedImage.allocationLimit = 1 << 20;
  for (std::uint32_t length : {0xFFFFFFFFu, 0x80000000u, 2000u + 1028u + 4u + 1u}) {
    MapFilePlan plan = WithData(2000);
    plan.overrideDataLength = true;
    plan.dataLength = length;
    ExpectShownRefusal(Read(test::BuildMapFile(plan)).refusal, RefusalReason::kReadError,
                       ShortRead(3), "Read Error");
  }
}

TEST_F(MapFileTest, DataThatCannotBeAllocatedIsReported) {
  files.loadedImage.allocationLimit = 4999;
  ExpectShownRefusal(Read(test::BuildMapFile(WithData(5000))).refusal, RefusalReason::kNoMemory,
                     "Could not allocate 5000 bytes.");
  EXPECT_FALSE(files.loadedImage.HasBuffer());
}

TEST_F(MapFileTest, MapImageReplacesAProgramImageInTheSlot) {
  ASSERT_TRUE(files.loadedImage.Allocate(4096));
  files.loadedImage.Data()[0] = 0xAA;
  MapFilePlan plan = WithData(3);
  ASSERT_EQ(Read(test::BuildMapFile(plan)).length, 3);
  EXPECT_EQ(files.loadedImage.Size(), 3u);
  EXPECT_EQ(Bytes(files.loadedImage.Data(), files.loadedImage.Data() + 3), plan.data);
}

TEST_F(MapFileTest, UnopenableFileFailsQuietly) {
  ImageRead read = MapFileReader(host, files, dir.File("absent.bin").c_str()).Read();
  EXPECT_EQ(read.length, -1);
  test::ExpectQuietRefusal(read.refusal, RefusalReason::kNotOpened);
}

}  // namespace
}  // namespace rv4410
