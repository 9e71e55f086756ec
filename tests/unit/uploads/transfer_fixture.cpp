#include "transfer_fixture.h"

#include <algorithm>
#include <cstring>

#include "sim/unit_features.h"

namespace rv4410::test {

TransferTest::TransferTest() : state(host, dir.File("Loader.LOG")) {
  run.log.LogOpen();
  run.settings.configFile = configPath;
}

TransferTest::~TransferTest() {
  SerialClose(run.link);
  line.reset();
}

void TransferTest::TearDown() {
  for (const MessageBoxRequest& box : host.UnexpectedBoxes()) {
    ADD_FAILURE() << "unexpected message box \"" << box.caption << "\": " << box.text;
  }
}

sim::UnitModel& TransferTest::StartUnit(sim::LineKnobs knobs, sim::ConfigurationKnobs config,
                                        const std::function<void(sim::UnitModel&)>& first) {
  line.reset();
  unit = std::make_unique<sim::UnitModel>(knobs);
  if (first) first(*unit);
  exchange = &unit->Make<sim::ConfigurationExchange>(std::move(config));
  line = std::make_unique<sim::InMemoryLine>(host, *unit);
  return *unit;
}

sim::SimOptions TransferTest::WholeUnitOptions() {
  sim::SimOptions options;
  options.speeds.quietReturnUs = 0;
  return options;
}

sim::UnitModel& TransferTest::StartWholeUnit(sim::SimOptions options,
                                             const std::function<void(sim::UnitModel&)>& first) {
  line.reset();
  unit = std::make_unique<sim::UnitModel>(options.line);
  if (first) first(*unit);
  sim::AddUnitFeatures(*unit, options);
  exchange = unit->Find<sim::ConfigurationExchange>();
  program = unit->Find<sim::ProgramLoadFeature>();
  map = unit->Find<sim::MapLoadFeature>();
  line = std::make_unique<sim::InMemoryLine>(host, *unit);
  return *unit;
}

void TransferTest::LoadImage(const std::vector<std::uint8_t>& bytes) {
  LoadedImage& image = state.files.loadedImage;
  ASSERT_TRUE(image.Allocate(bytes.size()));
  std::memcpy(image.Data(), bytes.data(), bytes.size());
  image.length = static_cast<std::int64_t>(bytes.size());
}

std::vector<std::string> TransferTest::UnitParameters() const {
  std::vector<std::string> lines;
  for (std::size_t i = 0; i < exchange->Store().Size(); ++i)
    lines.push_back(exchange->Store().Line(i));
  return lines;
}

int TransferTest::RunTransfer(LoaderFunction function) {
  run.settings.function = function;
  return DoTransfer(state, page);
}

int TransferTest::Count(const std::vector<std::string>& commands,
                        const std::string& command) const {
  return static_cast<int>(std::count(commands.begin(), commands.end(), command));
}

std::vector<std::string> TransferTest::BoxTexts() const {
  std::vector<std::string> texts;
  for (const MessageBoxRequest& box : host.ShownBoxes()) texts.push_back(box.text);
  return texts;
}

}  // namespace rv4410::test
