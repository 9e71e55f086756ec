#include "datafiles/map_file.h"

#include <gtest/gtest.h>

#include <cstring>

#include "datafiles/ordinal_date.h"
#include "support/image_builders.h"
#include "support/virtual_unit_fixture.h"

namespace rv4410 {
namespace {

using test::Bytes;
using test::MapFilePlan;

// Today, for every test here: 10 April 2026, day 100.
constexpr OrdinalDate kToday = 26100;

class MapFileTest : public test::VirtualUnitTest {
 protected:
  MapFileTest() {
    host.SetWallClock(test::LocalNoon(2026, 100));
    // Notices are acknowledged; the date warnings get warningAnswer.
    host.SetBoxHandler([this](const MessageBoxRequest& box) {
      return box.buttons == BoxButtons::kOkCancel ? warningAnswer : BoxAnswer::kOk;
    });
  }

  int Read(const Bytes& file) {
    test::WriteFile(path, test::AsString(file));
    return ReadMapFile(run, files, path.c_str());
  }
  static MapFilePlan WithData(std::size_t length, std::uint32_t seed = 11) {
    MapFilePlan plan;
    plan.data = test::PatternBytes(length, seed);
    return plan;
  }
  std::vector<std::string> Captions() const {
    std::vector<std::string> captions;
    for (const auto& box : host.ShownBoxes()) captions.push_back(box.caption);
    return captions;
  }
  // The last box is the only failure shown, with this text and caption.
  void ExpectFailure(const std::string& text, const std::string& caption) {
    ASSERT_FALSE(host.ShownBoxes().empty());
    const MessageBoxRequest& box = host.ShownBoxes().back();
    EXPECT_EQ(box.text, text);
    EXPECT_EQ(box.caption, caption);
    EXPECT_EQ(box.icon, BoxIcon::kError);
    EXPECT_EQ(box.buttons, BoxButtons::kOk);
    EXPECT_NE(LogText().find(text + "\n"), std::string::npos);
  }
  // The read error (1) to (7) of a read that came up short.
  std::string ShortRead(int which) const {
    std::string place = " on File " + path + " (" + std::to_string(which) + ")";
    return (which <= 4 ? "0 -- " : "(0) ") + std::string(std::strerror(0)) + place;
  }

  std::string path = dir.File("map.bin");
  DataFiles files;
  BoxAnswer warningAnswer = BoxAnswer::kOk;
};

TEST_F(MapFileTest, ReadsImageHeaderAndControlBlock) {
  MapFilePlan plan = WithData(5000);
  plan.furtherBytes = 300;
  plan.featureMask = 0x24;
  Bytes file = test::BuildMapFile(plan);
  ASSERT_EQ(Read(file), 5000);

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

  ASSERT_EQ(host.ShownBoxes().size(), 1u);
  const MessageBoxRequest& caution = host.ShownBoxes()[0];
  std::string text =
      "Map Data Valid in Date Range below ONLY \n\n    Effective Date 01-JAN-26 \n"
      "    Expiration Date 31-DEC-79";
  EXPECT_EQ(caution.text, text);
  EXPECT_EQ(caution.caption, "Caution");
  EXPECT_EQ(caution.icon, BoxIcon::kWarning);
  EXPECT_EQ(caution.buttons, BoxButtons::kOk);
  EXPECT_NE(LogText().find(text + "\n"), std::string::npos);
}

TEST_F(MapFileTest, FurtherBytesOfAnyCountAreReadAndChecked) {
  for (std::size_t further : {0u, 1u, 255u, 256u, 257u, 512u, 1000u}) {
    MapFilePlan plan = WithData(700);
    plan.furtherBytes = further;
    EXPECT_EQ(Read(test::BuildMapFile(plan)), 700) << further;
  }
}

TEST_F(MapFileTest, EmptyMapGivesAnAllOnesDataCrc) {
  ASSERT_EQ(Read(test::BuildMapFile(MapFilePlan{})), 0);
  EXPECT_EQ(files.loadedImage.Size(), 0u);
  EXPECT_EQ(files.mapControlBlock.Word(244), 0u);
  EXPECT_EQ(files.mapControlBlock.Word(248), 0xFFFFFFFFu);
}

TEST_F(MapFileTest, FormatOtherThanOneIsRefusedBeforeAnyDateBox) {
  MapFilePlan plan = WithData(10);
  plan.format = 2;
  EXPECT_EQ(Read(test::BuildMapFile(plan)), -1);
  ASSERT_EQ(host.ShownBoxes().size(), 1u);
  ExpectFailure("Map File Format Conflict 2", "Error");
}

TEST_F(MapFileTest, ValidityPeriodIncludesBothOfItsDays) {
  MapFilePlan plan = WithData(10);
  plan.effectiveDate = kToday;
  plan.expirationDate = kToday;
  EXPECT_EQ(Read(test::BuildMapFile(plan)), 10);
  EXPECT_EQ(Captions(), std::vector<std::string>{"Caution"});
}

TEST_F(MapFileTest, OneDayOutsideThePeriodWarns) {
  MapFilePlan early = WithData(10);
  early.effectiveDate = kToday + 1;
  EXPECT_EQ(Read(test::BuildMapFile(early)), 10);
  ASSERT_EQ(host.ShownBoxes().size(), 2u);
  const MessageBoxRequest& notYet = host.ShownBoxes()[1];
  EXPECT_EQ(notYet.text, "   Map Data is NOT YET Valid   \n\n   Will be Valid on 11-APR-26\n ");
  EXPECT_EQ(notYet.caption, "Cancel to Quit, OK to Continue");
  EXPECT_EQ(notYet.icon, BoxIcon::kError);
  EXPECT_EQ(notYet.buttons, BoxButtons::kOkCancel);
  EXPECT_EQ(LogText().find("NOT YET"), std::string::npos);

  host.ClearShownBoxes();
  MapFilePlan late = WithData(10);
  late.expirationDate = kToday - 1;
  EXPECT_EQ(Read(test::BuildMapFile(late)), 10);
  ASSERT_EQ(host.ShownBoxes().size(), 2u);
  EXPECT_EQ(host.ShownBoxes()[1].text,
            "   Map Data ALREADY Expired   \n\n   Expiration Date 09-APR-26\n ");
  EXPECT_EQ(LogText().find("ALREADY"), std::string::npos);
}

TEST_F(MapFileTest, TwoDigitYearsBefore80AreThisCentury) {
  MapFilePlan plan = WithData(10);
  plan.effectiveDate = 26001;
  plan.expirationDate = 99365;  // 31 December 1999
  EXPECT_EQ(Read(test::BuildMapFile(plan)), 10);
  ASSERT_EQ(host.ShownBoxes().size(), 2u);
  EXPECT_EQ(host.ShownBoxes()[1].text,
            "   Map Data ALREADY Expired   \n\n   Expiration Date 31-DEC-99\n ");
}

TEST_F(MapFileTest, BothWarningsComeInOrderAndCancelAtEitherQuits) {
  MapFilePlan plan = WithData(10);
  plan.effectiveDate = 27001;
  plan.expirationDate = 25001;
  Bytes file = test::BuildMapFile(plan);
  EXPECT_EQ(Read(file), 10);
  EXPECT_EQ(Captions(), (std::vector<std::string>{"Caution", "Cancel to Quit, OK to Continue",
                                                  "Cancel to Quit, OK to Continue"}));
  EXPECT_NE(host.ShownBoxes()[1].text.find("NOT YET"), std::string::npos);
  EXPECT_NE(host.ShownBoxes()[2].text.find("ALREADY"), std::string::npos);

  // Cancel at the first warning: nothing more is read or shown.
  DataFiles fresh;
  host.ClearShownBoxes();
  warningAnswer = BoxAnswer::kCancel;
  test::WriteFile(path, test::AsString(file));
  EXPECT_EQ(ReadMapFile(run, fresh, path.c_str()), -1);
  EXPECT_EQ(host.ShownBoxes().size(), 2u);
  EXPECT_EQ(fresh.mapControlBlock.Word(0), 0u);
  EXPECT_FALSE(fresh.loadedImage.HasBuffer());

  // Cancel at the second.
  host.ClearShownBoxes();
  int warnings = 0;
  host.SetBoxHandler([&warnings](const MessageBoxRequest& box) {
    if (box.buttons != BoxButtons::kOkCancel) return BoxAnswer::kOk;
    return ++warnings == 1 ? BoxAnswer::kOk : BoxAnswer::kCancel;
  });
  EXPECT_EQ(ReadMapFile(run, fresh, path.c_str()), -1);
  EXPECT_EQ(host.ShownBoxes().size(), 3u);
  EXPECT_FALSE(fresh.loadedImage.HasBuffer());
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
    host.ClearShownBoxes();
    EXPECT_EQ(Read(Bytes(file.begin(), file.begin() + static_cast<long>(cut.keep))), -1);
    ExpectFailure(ShortRead(cut.which), cut.caption);
  }
  EXPECT_EQ(ShortRead(7), "(0) Success on File " + path + " (7)");
}

// R = T - L - 1352 wraps round: the reader takes chunks until the file ends.
TEST_F(MapFileTest, TotalBelowTheFixedPartsFailsInTheFurtherBytes) {
  MapFilePlan plan = WithData(600);
  plan.furtherBytes = 700;
  plan.overrideTotalLength = true;
  plan.totalLength = 600 + 1000;
  EXPECT_EQ(Read(test::BuildMapFile(plan)), -1);
  ExpectFailure(ShortRead(5), "Error");
}

TEST_F(MapFileTest, AnyChangedByteIsACrcError) {
  MapFilePlan plan = WithData(2000);
  plan.furtherBytes = 100;
  Bytes file = test::BuildMapFile(plan);
  for (std::size_t at : {std::size_t{4}, std::size_t{63}, std::size_t{64}, std::size_t{319},
                         std::size_t{320}, std::size_t{2319}, std::size_t{2320}, file.size() - 5}) {
    Bytes changed = file;
    changed[at] ^= 0x08;
    host.ClearShownBoxes();
    EXPECT_EQ(Read(changed), -1) << at;
    ExpectFailure("CRC Error on File " + path, "Error");
  }
  Bytes storedCrc = file;
  storedCrc.back() ^= 0x01;
  EXPECT_EQ(Read(storedCrc), -1);
}

TEST_F(MapFileTest, StoredCrcIsLittleEndian) {
  Bytes file = test::BuildMapFile(WithData(64));
  std::uint32_t crc = test::ReferenceCrc(file.data(), file.size() - 4);
  EXPECT_EQ(file[file.size() - 4], static_cast<std::uint8_t>(crc));
  EXPECT_EQ(Read(file), 64);
}

// A damaged header that claims gigabytes of data must not take them.
TEST_F(MapFileTest, DataLengthBeyondTheFileFailsWithoutTakingMemory) {
  files.loadedImage.allocationLimit = 1 << 20;
  for (std::uint32_t length : {0xFFFFFFFFu, 0x80000000u, 2000u + 1028u + 4u + 1u}) {
    MapFilePlan plan = WithData(2000);
    plan.overrideDataLength = true;
    plan.dataLength = length;
    host.ClearShownBoxes();
    EXPECT_EQ(Read(test::BuildMapFile(plan)), -1);
    ExpectFailure(ShortRead(3), "Read Error");
  }
}

TEST_F(MapFileTest, DataThatCannotBeAllocatedIsReported) {
  files.loadedImage.allocationLimit = 4999;
  EXPECT_EQ(Read(test::BuildMapFile(WithData(5000))), -1);
  ExpectFailure("Could not allocate 5000 bytes.", "Error");
  EXPECT_FALSE(files.loadedImage.HasBuffer());
}

TEST_F(MapFileTest, MapImageReplacesAProgramImageInTheSlot) {
  ASSERT_TRUE(files.loadedImage.Allocate(4096));
  files.loadedImage.Data()[0] = 0xAA;
  MapFilePlan plan = WithData(3);
  ASSERT_EQ(Read(test::BuildMapFile(plan)), 3);
  EXPECT_EQ(files.loadedImage.Size(), 3u);
  EXPECT_EQ(Bytes(files.loadedImage.Data(), files.loadedImage.Data() + 3), plan.data);
}

TEST_F(MapFileTest, UnopenableFileFailsQuietly) {
  EXPECT_EQ(ReadMapFile(run, files, dir.File("absent.bin").c_str()), -1);
  EXPECT_TRUE(host.ShownBoxes().empty());
}

}  // namespace
}  // namespace rv4410

namespace rv4410 {
namespace {

TEST_F(MapFileTest, HeaderGivesTheUnitCheckItsFeatureMaskAndLength) {
  MapFilePlan plan = WithData(1000);
  plan.featureMask = 0x24;
  ASSERT_EQ(Read(test::BuildMapFile(plan)), 1000);
  MapRequirement requirement = files.mapHeader.Requirement();
  EXPECT_EQ(requirement.featureMask, 0x24u);
  EXPECT_EQ(requirement.dataLength, 1000u);
}

}  // namespace
}  // namespace rv4410
