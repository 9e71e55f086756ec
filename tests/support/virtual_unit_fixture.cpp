#include "support/virtual_unit_fixture.h"

namespace rv4410::test {

VirtualUnitTest::VirtualUnitTest() : run(host, dir.File("Loader.LOG")) {
  run.log.LogOpen();
}

VirtualUnitTest::~VirtualUnitTest() {
  SerialClose(run.link);
  line.reset();
}

void VirtualUnitTest::TearDown() {
  for (const MessageBoxRequest& box : host.UnexpectedBoxes()) {
    ADD_FAILURE() << "unexpected message box \"" << box.caption << "\": " << box.text;
  }
  for (const FileChoiceRequest& choice : host.UnexpectedChoices()) {
    ADD_FAILURE() << "unexpected file-open dialog \"" << choice.title << "\"";
  }
}

sim::UnitModel& VirtualUnitTest::StartUnit(sim::LineKnobs knobs) {
  line.reset();
  unit = std::make_unique<sim::UnitModel>(knobs);
  line = std::make_unique<sim::InMemoryLine>(host, *unit);
  return *unit;
}

void VirtualUnitTest::OpenPort() {
  ASSERT_EQ(SerialOpen(run.link), 1);
}

std::string VirtualUnitTest::LogText() const {
  return ReadLogFile(dir.File("Loader.LOG"));
}

}  // namespace rv4410::test
