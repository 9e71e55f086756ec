#include "configuration_fixture.h"

#include <algorithm>
#include <filesystem>

namespace rv4410::test {

sim::ConfigurationExchange& ConfigurationTest::StartConfiguredUnit(const Knobs& knobs) {
  sim::ConfigurationKnobs set;
  if (knobs) knobs(set);
  SerialClose(run.link);
  StartUnit();
  exchange = &unit->Make<sim::ConfigurationExchange>(set);
  run.settings.configFile = configPath;
  OpenPort();
  return *exchange;
}

void ConfigurationTest::SetUnitLines(const std::vector<std::string>& lines) {
  std::vector<sim::Parameter> parameters;
  for (const std::string& line : lines) {
    sim::Parameter p;
    EXPECT_TRUE(sim::SplitParameterLine(line, p.name, p.value)) << line;
    parameters.push_back(p);
  }
  exchange->Store().Replace(parameters);
}

std::vector<std::string> ConfigurationTest::UnitLines() const {
  std::vector<std::string> lines;
  for (std::size_t i = 0; i < exchange->Store().Size(); ++i) {
    lines.push_back(exchange->Store().Line(i));
  }
  return lines;
}

std::vector<std::string> ConfigurationTest::FileLines() const {
  std::vector<std::string> lines;
  std::string text = FileText();
  std::size_t start = 0;
  for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
    lines.push_back(text.substr(start, end - start));
  }
  EXPECT_EQ(start, text.size()) << "the file does not end with CR LF";
  return lines;
}

int ConfigurationTest::Received(const std::string& line) const {
  return static_cast<int>(std::count(UnitCommands().begin(), UnitCommands().end(), line));
}

int ConfigurationTest::LogCount(const std::string& text) const {
  std::string log = LogText();
  int count = 0;
  for (std::size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) {
    ++count;
  }
  return count;
}

std::string AsFile(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}

std::vector<std::string> FileNamesIn(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace rv4410::test
