// The communications dialog's logic in virtual time: the buttons checked for
// the settings in force, "OK" proving the port, and the state of each name.

#include "wizard/comms_page.h"

#include <gtest/gtest.h>

#include "support/virtual_unit_fixture.h"
#include "unit/wizard/virtual_setup_page.h"

namespace rv4410 {
namespace {

class CommsPageTest : public test::VirtualUnitTest {
 protected:
  test::VirtualCommsPage comms{host, run};
};

TEST(CommsButtonsTest, EachNameAndRateHasItsButtonAndAnythingElseFallsBack) {
  EXPECT_EQ(PortButtonFor("COM1"), 1021);
  EXPECT_EQ(PortButtonFor("COM2"), 1022);
  EXPECT_EQ(PortButtonFor("COM3"), 1023);
  EXPECT_EQ(PortButtonFor("COM4"), 1024);
  EXPECT_EQ(PortButtonFor("/dev/ttyUSB0"), 1021);
  int rates[] = {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(RateButtonFor(rates[i]), 1001 + i) << rates[i];
  EXPECT_EQ(RateButtonFor(14400), 1004);
  EXPECT_EQ(RateButtonFor(0), 1004);
}

TEST_F(CommsPageTest, OkWithAPortThatOpensStoresTheChoiceAndEnds) {
  comms.ClickAt(1, 1023);
  comms.ClickAt(1, 1008);
  comms.CommandAt(2, kCommsOkButton);
  EXPECT_EQ(DoComms(run, comms), 1);
  EXPECT_TRUE(comms.iconSet);
  EXPECT_EQ(run.settings.portName, "COM3");
  EXPECT_EQ(run.settings.baudRate, 115200);
  EXPECT_EQ(host.Device().OpenedBauds(), std::vector<int>{115200});
  EXPECT_FALSE(run.link.open);
  EXPECT_NE(LogText().find("... DoComms()\n"), std::string::npos);
  EXPECT_TRUE(host.ShownBoxes().empty());
}

TEST_F(CommsPageTest, AnUnlistedRateShows9600AndAnUnknownNameCom1) {
  run.settings.baudRate = 14400;
  run.settings.portName = "COM9";
  comms.CommandAt(1, kCommsCancelButton);
  EXPECT_EQ(DoComms(run, comms), 0);
  EXPECT_EQ(comms.rate, 1004);
  EXPECT_EQ(comms.port, 1021);
  EXPECT_EQ(run.settings.baudRate, 14400);
}

TEST_F(CommsPageTest, OkWithAPortThatWillNotOpenKeepsTheDialogAndCancelKeepsTheNewName) {
  host.Device().SetPortPresent("COM3", false);
  host.AnswerNextBox(BoxAnswer::kOk);
  comms.ClickAt(1, 1023);
  comms.ClickAt(1, 1002);
  comms.CommandAt(2, kCommsOkButton);
  comms.CommandAt(3, kCommsCancelButton);
  EXPECT_EQ(DoComms(run, comms), 0);
  ASSERT_EQ(host.ShownBoxes().size(), 1u);
  const MessageBoxRequest& box = host.ShownBoxes()[0];
  EXPECT_EQ(box.text, "Did not open COM3.");
  EXPECT_EQ(box.caption, "Error");
  EXPECT_EQ(box.icon, BoxIcon::kError);
  EXPECT_EQ(box.owner, comms.Window());
  EXPECT_EQ(run.settings.portName, "COM3");
  EXPECT_EQ(run.settings.baudRate, 2400);
  std::string reason = host.DescribePortProblem("COM3");
  ASSERT_FALSE(reason.empty());
  EXPECT_NE(LogText().find("Did not open COM3.\nAnswer: OK\n" + reason + "\n"), std::string::npos);
}

TEST_F(CommsPageTest, ARateLoweredByATransferShowsWhenTheDialogOpensAgain) {
  comms.CommandAt(1, kCommsCloseRequest);
  EXPECT_EQ(DoComms(run, comms), 0);
  EXPECT_EQ(comms.rate, 1004);
  // The transfer set-up fell back and stored the speed in force.
  run.settings.baudRate = 38400;
  test::VirtualCommsPage again(host, run);
  again.CommandAt(host.TickCount() + 1, kCommsCancelButton);
  EXPECT_EQ(DoComms(run, again), 0);
  EXPECT_EQ(again.rate, 1006);
}

TEST_F(CommsPageTest, EachNameShowsTheStateOfWhatItReaches) {
  host.Device().SetPortPresent("COM2", false);
  host.Device().SetPortDenied("COM3", true);
  comms.CommandAt(1, kCommsCancelButton);
  EXPECT_EQ(DoComms(run, comms), 0);
  EXPECT_EQ(comms.states[1021], PortState::kFound);
  EXPECT_EQ(comms.states[1022], PortState::kMissing);
  EXPECT_EQ(comms.states[1023], PortState::kNoPermission);
  EXPECT_EQ(comms.states[1024], PortState::kFound);
  host.Device().SetHeldElsewhere(true);
  EXPECT_EQ(host.DiagnosePort("COM4").state, PortState::kInUse);
  EXPECT_EQ(host.DescribePortProblem("COM1"), "COM1: in use by another program.");
}

}  // namespace
}  // namespace rv4410
