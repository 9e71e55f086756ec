#pragma once
// The simulated unit's configuration: its named 32-bit parameters in the order
// it sends them, as parameter lines ("name 0xHHHHHHHH"), and the loading and
// saving of the list as a configuration file for rv4410-sim. Written apart
// from the loader's own parameter code, so that each checks the other.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace rv4410::sim {

struct Parameter {
  std::string name;  // padded with spaces to 15 characters, as the unit keeps it
  std::uint32_t value = 0;

  bool operator==(const Parameter&) const = default;
};

// The check character the unit puts on and expects of a checked line:
// the byte sum of `text` modulo 36, as a digit or capital letter.
char UnitCheckCharacter(std::string_view text);

class ParameterStore {
 public:
  // A unit as installed: every parameter the loader knows, with values
  // within the loader's limits.
  ParameterStore();

  const std::vector<Parameter>& Parameters() const { return parameters_; }
  std::size_t Size() const { return parameters_.size(); }
  // The parameter line of entry `index`: name, one space, "0x" and 8 hex digits.
  std::string Line(std::size_t index) const;
  // Takes one parameter line the loader wrote. False (and counted as
  // rejected) when it has no "0x" value field after a space, or names no
  // parameter this unit has.
  bool Apply(std::string_view line);
  std::size_t Rejected() const { return rejected_; }
  // The value of the parameter named `name` (padding optional); false when absent.
  bool Value(std::string_view name, std::uint32_t& value) const;
  void Set(std::string_view name, std::uint32_t value);
  // Replaces the whole list.
  void Replace(std::vector<Parameter> parameters) { parameters_ = std::move(parameters); }

  // Replaces the list by the parameter lines of a configuration file (LF or
  // CR LF). False with `error` saying why when a line is not a parameter line.
  bool Load(const std::string& path, std::string& error);
  // Writes the list as a configuration file, CR LF line ends.
  bool Save(const std::string& path) const;

 private:
  Parameter* Find(std::string_view name);
  const Parameter* Find(std::string_view name) const;

  std::vector<Parameter> parameters_;
  std::size_t rejected_ = 0;
};

// Splits a parameter line into name and value; false when it is not one.
bool SplitParameterLine(std::string_view line, std::string& name, std::uint32_t& value);

}  // namespace rv4410::sim
