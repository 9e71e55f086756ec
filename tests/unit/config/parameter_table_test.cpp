#include "config/parameter_table.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace rv4410 {
namespace {

struct ExpectedEntry {
  const char* paddedName;
  std::int32_t minimum;
  std::int32_t maximum;
};

// Written out with every padding space, apart from the table in the loader.
const ExpectedEntry kExpected[] = {
    {"ADF-1 Select   ", 0, 0},     {"ADF-2 Select   ", 0, 0},     {"CNAV-1 Trim    ", 0, 0},
    {"CNAV-2 Trim    ", 0, 0},     {"Compass Cal N  ", 0, 0},     {"Compass Cal S  ", 0, 0},
    {"Compass Cal E  ", 0, 0},     {"Compass Cal W  ", 0, 0},     {"DG Select      ", 0, 5},
    {"LED Lo Bright  ", 0, 0},     {"LED Hi Bright  ", 0, 0},     {"Lamp Cal       ", 0, 0},
    {"Lamp Vcal-14   ", 0, 0},     {"Lamp Ical-14   ", 0, 0},     {"Lamp Ical-28   ", 0, 0},
    {"Lamp Ma Init   ", 0, 0},     {"Lamp Ma Peak   ", 0, 0},     {"Lamp Minutes   ", 0, 0},
    {"Lamp Prof      ", 0, 0},     {"Lamp Type      ", 0, 0},     {"Lamp Fail Thrsh", 0, 0},
    {"Lamp Fail Mins ", 0, 0},     {"Lamp Test Time ", 0, 0},     {"Lamp MaInitLast", 0, 0},
    {"Lamp MaPeakLast", 0, 0},     {"Lamp Mins  Last", 0, 0},     {"Lamp MinHB Last", 0, 0},
    {"Lamp Prof  Last", 0, 0},     {"Dme Analog Gain", 0, 0},     {"Dme Analog Ofst", 0, 0},
    {"Dme-1 Select   ", 0, 4},     {"Dme-1 Hold Inv ", 0, 4},     {"Dme-2 Select   ", 0, 4},
    {"Dme-2 Hold Mode", 0, 0},     {"Dme-2 Hold Inv ", 0, 4},     {"FCS Select     ", 0, 11},
    {"FCS Protocol   ", 0, 1},     {"FCS Hdg Grad   ", 0, 0},     {"FCS Crs Grad   ", 0, 0},
    {"FCS Min        ", 0, 0},     {"FCS Max        ", 0, 0},     {"FCS Ofst       ", 0, 0},
    {"FCS Datum Rev  ", 0, 0},     {"FCS CDatum Rev ", 0, 0},     {"FCS Bootstrap  ", 0, 0},
    {"Fluxgate Select", 0, 3},     {"Fluxgate Phase ", 0, 0},     {"Fluxgate Quad  ", 0, 3},
    {"DG Slaved      ", 0, 0},     {"DG Valid Src   ", 0, 0},     {"HSI Xptr       ", 0, 0},
    {"LCD Hpos       ", 0, 15},    {"LCD Vpos       ", 175, 255}, {"LCD Xcent      ", 215, 255},
    {"LCD Xright     ", 430, 479}, {"LCD Ycent      ", 300, 330}, {"LCD Ybot       ", 520, 580},
    {"LCD Shp        ", 0, 7},     {"LCD Pll        ", 0, 255},   {"LCD Tc1        ", 0, 255},
    {"LRN Arm Req    ", 0, 0},     {"LRN Fcn Req    ", 0, 0},     {"LRN Select     ", 0, 48},
    {"LRN-1 Ann Type ", 0, 0},     {"LRN-1 Dev Src  ", 0, 2},     {"LRN-1 Crs Src  ", 0, 2},
    {"LRN-2 Select   ", 0, 48},    {"LRN-2 Ann Type ", 0, 0},     {"LRN-2 Dev Src  ", 0, 2},
    {"LRN-2 Crs Src  ", 0, 2},     {"MAP Select     ", 0, 5},     {"MAP Range      ", 0, 18},
    {"MKR Select     ", 0, 12},    {"MKR Valid Type ", 0, 0},     {"MKR Thresh     ", 0, 4},
    {"NAV-1 Avail    ", 0, 0},     {"NAV-2 Avail    ", 0, 0},     {"NAV-1 Arinc Sel", 0, 0},
    {"NAV-2 Arinc Sel", 0, 0},     {"NAV Autoslew   ", 0, 0},     {"NAV Color Sel  ", 0, 0},
    {"NAV-1 ILS Mode ", 0, 0},     {"NAV-2 ILS Mode ", 0, 0},     {"NAV Lockout Dis", 0, 0},
    {"LRN-1 OBS Trim ", 0, 0},     {"LRN-2 OBS Trim ", 0, 0},     {"NAV-1 OBS Trim ", 0, 0},
    {"NAV-2 OBS Trim ", 0, 0},     {"LRN-1 OBS Rev  ", 0, 0},     {"LRN-2 OBS Rev  ", 0, 0},
    {"NAV-1 OBS Rev  ", 0, 0},     {"NAV-2 OBS Rev  ", 0, 0},     {"RLY MASTER MODE", 0, 0},
    {"NAV Src        ", 0, 3},     {"NAV Src Req    ", 0, 3},     {"NAV Sense CdiSr", 0, 0},
    {"NAV Sense Nav2 ", 0, 0},     {"NAV Sense Gps1 ", 0, 0},     {"NAV Sense Gps2 ", 0, 0},
    {"NAV Sense N2G2 ", 0, 0},     {"PTEST Data     ", 0, 0},     {"PTEST Sernum   ", 0, 0},
    {"RMI CNAV-1 Ena ", 0, 0},     {"RMI CNAV-2 Ena ", 0, 0},     {"RMI Mode       ", 0, 3},
    {"RMI-1 Select   ", 0, 7},     {"RMI-2 Select   ", 0, 7},     {"A-VUE          ", 0, 28},
    {"A-MAP          ", 0, 5},     {"A-RANGE        ", 0, 18},    {"A-RMI          ", 0, 3},
    {"B-VUE          ", 0, 28},    {"B-MAP          ", 0, 5},     {"B-RANGE        ", 0, 18},
    {"B-RMI          ", 0, 3},     {"AB Select      ", 0, 1},     {"INV Ena        ", 0, 1},
    {"HDG            ", 0, 0},     {"CRS            ", 0, 0},     {"Demo Mode      ", 0, 0},
    {"VUE            ", 0, 28},    {"WX Mode        ", 0, 0},     {"WX Select      ", 0, 0},
    {"Map1 Cat Select ", 0, 0},    {"Map1 Item Select", 0, 0},    {"Map2 Cat Select ", 0, 0},
    {"Map2 Item Select", 0, 0},    {"Map3 Cat Select ", 0, 0},    {"Map3 Item Select", 0, 0},
    {"Map4 Cat Select ", 0, 0},    {"Map4 Item Select", 0, 0},    {"Map5 Cat Select ", 0, 0},
    {"Map5 Item Select", 0, 0},    {"Map Src Select ", 0, 0},     {"Map Setup Page ", 0, 8},
    {"Course PTR INH ", 0, 0},     {"Swap Counter   ", 0, 0},     {"Swap Reason    ", 0, 0},
};

TEST(ParameterTable, HoldsEveryEntryInOrderWithItsPaddedNameAndLimits) {
  ASSERT_EQ(ParameterTable.size(), std::size(kExpected));
  int withLimits = 0;
  for (std::size_t i = 0; i < ParameterTable.size(); ++i) {
    const ParameterEntry& entry = ParameterTable[i];
    SCOPED_TRACE("entry " + std::to_string(i));
    EXPECT_EQ(entry.Name(), kExpected[i].paddedName);
    EXPECT_EQ(entry.minimum, kExpected[i].minimum);
    EXPECT_EQ(entry.maximum, kExpected[i].maximum);
    if (entry.HasLimits()) ++withLimits;
  }
  EXPECT_EQ(withLimits, 45);
}

TEST(ParameterTable, SixteenCharacterNamesFillTheFieldWithoutTerminator) {
  for (std::size_t i = 0; i < ParameterTable.size(); ++i) {
    const ParameterEntry& entry = ParameterTable[i];
    bool sixteen = i >= 123 && i <= 132;
    SCOPED_TRACE("entry " + std::to_string(i));
    EXPECT_EQ(entry.Name().size(), sixteen ? 16u : 15u);
    if (sixteen) {
      EXPECT_NE(entry.name[15], '\0');
    } else {
      EXPECT_EQ(entry.name[15], '\0');
    }
  }
  EXPECT_EQ(std::string(ParameterTable[25].Name()), "Lamp Mins  Last");
  EXPECT_EQ(std::string(ParameterTable[27].Name()), "Lamp Prof  Last");
}

int IndexOf(const ParameterEntry* entry) {
  return entry == nullptr ? -1 : static_cast<int>(entry - ParameterTable.data());
}

TEST(FindParameter, ComparesTheWholePaddedNameFirstMatchWins) {
  struct Case {
    const char* line;
    int index;
  };
  const Case cases[] = {
      {"ADF-1 Select    0x00000000", 0},
      // 16 characters ending in a space, then the separator.
      {"Map1 Cat Select  0x00000003", 123},
      {"Map1 Item Select 0x00000003", 124},
      // Equal in 15 characters, different in the 16th.
      {"Map1 Cat SelectX 0x00000003", -1},
      {"Map1 Item SelecT 0x00000003", -1},
      {"NAV Src         0x00000001", 93},
      {"NAV Src Req     0x00000001", 94},
      {"VUE             0x00000001", 120},
      {"A-VUE           0x00000001", 107},
      {"B-VUE           0x00000001", 111},
      {"Lamp Mins  Last 0x00000001", 25},
      {"Lamp Mins Last  0x00000001", -1},
      {"dg select       0x00000001", -1},
      {"DG Select", -1},
      {"", -1},
      {"HDG            ", 117},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IndexOf(FindParameter(c.line)), c.index) << '"' << c.line << '"';
  }
}

}  // namespace
}  // namespace rv4410
