#include "sim/parameter_store.h"

#include <cstdio>
#include <fstream>

#include "sim/save_file.h"

namespace rv4410::sim {

namespace {

constexpr std::size_t kNameWidth = 15;
constexpr std::size_t kValueField = 10;  // "0x" and 8 hexadecimal digits
constexpr std::string_view kAlphabet = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";

struct Installed {
  const char* name;
  std::int64_t value;
};

// An ordinary installation: an instrument with ADF, DME, an autopilot on the
// FCS outputs, a slaved fluxgate, two navigation receivers and a GPS.
constexpr Installed kInstalled[] = {
    {"ADF-1 Select", 1},
    {"ADF-2 Select", 0},
    {"CNAV-1 Trim", -12},
    {"CNAV-2 Trim", 7},
    {"Compass Cal N", -3},
    {"Compass Cal S", 4},
    {"Compass Cal E", 2},
    {"Compass Cal W", -1},
    {"DG Select", 2},
    {"LED Lo Bright", 40},
    {"LED Hi Bright", 255},
    {"Lamp Cal", 1012},
    {"Lamp Vcal-14", 13950},
    {"Lamp Ical-14", 610},
    {"Lamp Ical-28", 305},
    {"Lamp Ma Init", 220},
    {"Lamp Ma Peak", 480},
    {"Lamp Minutes", 187342},
    {"Lamp Prof", 3},
    {"Lamp Type", 1},
    {"Lamp Fail Thrsh", 90},
    {"Lamp Fail Mins", 5},
    {"Lamp Test Time", 30},
    {"Lamp MaInitLast", 218},
    {"Lamp MaPeakLast", 477},
    {"Lamp Mins  Last", 186990},
    {"Lamp MinHB Last", 4021},
    {"Lamp Prof  Last", 3},
    {"Dme Analog Gain", 1024},
    {"Dme Analog Ofst", -16},
    {"Dme-1 Select", 2},
    {"Dme-1 Hold Inv", 0},
    {"Dme-2 Select", 0},
    {"Dme-2 Hold Mode", 0},
    {"Dme-2 Hold Inv", 0},
    {"FCS Select", 4},
    {"FCS Protocol", 1},
    {"FCS Hdg Grad", 150},
    {"FCS Crs Grad", 150},
    {"FCS Min", -2048},
    {"FCS Max", 2047},
    {"FCS Ofst", 0},
    {"FCS Datum Rev", 0},
    {"FCS CDatum Rev", 1},
    {"FCS Bootstrap", 0},
    {"Fluxgate Select", 1},
    {"Fluxgate Phase", 35},
    {"Fluxgate Quad", 2},
    {"DG Slaved", 1},
    {"DG Valid Src", 0},
    {"HSI Xptr", 1},
    {"LCD Hpos", 7},
    {"LCD Vpos", 200},
    {"LCD Xcent", 240},
    {"LCD Xright", 455},
    {"LCD Ycent", 315},
    {"LCD Ybot", 552},
    {"LCD Shp", 3},
    {"LCD Pll", 128},
    {"LCD Tc1", 96},
    {"LRN Arm Req", 0},
    {"LRN Fcn Req", 0},
    {"LRN Select", 17},
    {"LRN-1 Ann Type", 2},
    {"LRN-1 Dev Src", 1},
    {"LRN-1 Crs Src", 1},
    {"LRN-2 Select", 0},
    {"LRN-2 Ann Type", 0},
    {"LRN-2 Dev Src", 0},
    {"LRN-2 Crs Src", 0},
    {"MAP Select", 2},
    {"MAP Range", 9},
    {"MKR Select", 3},
    {"MKR Valid Type", 1},
    {"MKR Thresh", 2},
    {"NAV-1 Avail", 1},
    {"NAV-2 Avail", 1},
    {"NAV-1 Arinc Sel", 0},
    {"NAV-2 Arinc Sel", 0},
    {"NAV Autoslew", 1},
    {"NAV Color Sel", 2},
    {"NAV-1 ILS Mode", 1},
    {"NAV-2 ILS Mode", 1},
    {"NAV Lockout Dis", 0},
    {"LRN-1 OBS Trim", -5},
    {"LRN-2 OBS Trim", 0},
    {"NAV-1 OBS Trim", 6},
    {"NAV-2 OBS Trim", -2},
    {"LRN-1 OBS Rev", 0},
    {"LRN-2 OBS Rev", 0},
    {"NAV-1 OBS Rev", 0},
    {"NAV-2 OBS Rev", 1},
    {"RLY MASTER MODE", 0},
    {"NAV Src", 1},
    {"NAV Src Req", 2},
    {"NAV Sense CdiSr", 0},
    {"NAV Sense Nav2", 1},
    {"NAV Sense Gps1", 1},
    {"NAV Sense Gps2", 0},
    {"NAV Sense N2G2", 0},
    {"PTEST Data", 0x5A5A5A5A},
    {"PTEST Sernum", 441023},
    {"RMI CNAV-1 Ena", 1},
    {"RMI CNAV-2 Ena", 0},
    {"RMI Mode", 2},
    {"RMI-1 Select", 5},
    {"RMI-2 Select", 3},
    {"A-VUE", 12},
    {"A-MAP", 3},
    {"A-RANGE", 11},
    {"A-RMI", 1},
    {"B-VUE", 21},
    {"B-MAP", 0},
    {"B-RANGE", 6},
    {"B-RMI", 2},
    {"AB Select", 1},
    {"INV Ena", 0},
    {"HDG", 274},
    {"CRS", 91},
    {"Demo Mode", 0},
    {"VUE", 12},
    {"WX Mode", 0},
    {"WX Select", 0},
    {"Map1 Cat Select ", 1},
    {"Map1 Item Select", 15},
    {"Map2 Cat Select ", 2},
    {"Map2 Item Select", 7},
    {"Map3 Cat Select ", 3},
    {"Map3 Item Select", 255},
    {"Map4 Cat Select ", 0},
    {"Map4 Item Select", 0},
    {"Map5 Cat Select ", 0},
    {"Map5 Item Select", 0},
    {"Map Src Select", 1},
    {"Map Setup Page", 4},
    {"Course PTR INH", 0},
    {"Swap Counter", 3},
    {"Swap Reason", -1},
};

std::string Padded(std::string_view name) {
  std::string padded(name);
  if (padded.size() < kNameWidth) padded.resize(kNameWidth, ' ');
  return padded;
}

std::string_view TrimmedRight(std::string_view text) {
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

char UnitCheckCharacter(std::string_view text) {
  unsigned sum = 0;
  for (unsigned char c : text) sum += c;
  return kAlphabet[sum % kAlphabet.size()];
}

bool SplitParameterLine(std::string_view line, std::string& name, std::uint32_t& value) {
  if (line.size() < kValueField + 2) return false;
  std::string_view field = line.substr(line.size() - kValueField);
  if (line[line.size() - kValueField - 1] != ' ' || field[0] != '0' || field[1] != 'x')
    return false;
  std::uint32_t parsed = 0;
  for (char c : field.substr(2)) {
    int digit = HexValue(c);
    if (digit < 0) return false;
    parsed = parsed << 4 | static_cast<std::uint32_t>(digit);
  }
  name = std::string(line.substr(0, line.size() - kValueField - 1));
  value = parsed;
  return true;
}

ParameterStore::ParameterStore() {
  for (const Installed& p : kInstalled) {
    parameters_.push_back({Padded(p.name), static_cast<std::uint32_t>(p.value)});
  }
}

std::string ParameterStore::Line(std::size_t index) const {
  const Parameter& p = parameters_.at(index);
  char value[16];
  std::snprintf(value, sizeof value, " 0x%08X", static_cast<unsigned>(p.value));
  return p.name + value;
}

Parameter* ParameterStore::Find(std::string_view name) {
  for (Parameter& p : parameters_) {
    if (TrimmedRight(p.name) == TrimmedRight(name)) return &p;
  }
  return nullptr;
}

const Parameter* ParameterStore::Find(std::string_view name) const {
  return const_cast<ParameterStore*>(this)->Find(name);
}

bool ParameterStore::Apply(std::string_view line) {
  std::string name;
  std::uint32_t value = 0;
  Parameter* p = SplitParameterLine(line, name, value) ? Find(name) : nullptr;
  if (p == nullptr) {
    ++rejected_;
    return false;
  }
  p->value = value;
  return true;
}

bool ParameterStore::Value(std::string_view name, std::uint32_t& value) const {
  const Parameter* p = Find(name);
  if (p == nullptr) return false;
  value = p->value;
  return true;
}

void ParameterStore::Set(std::string_view name, std::uint32_t value) {
  if (Parameter* p = Find(name)) {
    p->value = value;
  } else {
    parameters_.push_back({Padded(name), value});
  }
}

bool ParameterStore::Load(const std::string& path, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = "cannot open " + path;
    return false;
  }
  std::vector<Parameter> loaded;
  std::string line;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    Parameter p;
    if (!SplitParameterLine(line, p.name, p.value)) {
      error = path + ":" + std::to_string(number) + ": not a parameter line";
      return false;
    }
    loaded.push_back(std::move(p));
  }
  parameters_ = std::move(loaded);
  return true;
}

bool ParameterStore::Save(const std::string& path) const {
  std::string text;
  for (std::size_t i = 0; i < parameters_.size(); ++i) text += Line(i) + "\r\n";
  return SaveFile(path, text);
}

}  // namespace rv4410::sim
