// The console host's answers to every kind of box the logic shows, and its
// loud refusal of a question it has no rule for. Its answers are all it
// gives: the exit code follows from the operations' outcomes.

#include <gtest/gtest.h>

#include "cli/console_host.h"
#include "config/saved_configuration.h"
#include "datafiles/map_file.h"
#include "platform/virtual_host.h"
#include "protocol/command_lines.h"
#include "uploads/program_upload.h"
#include "uploads/transfer_driver.h"

namespace rv4410 {
namespace {

// The clock and the serial device the console host would wait on; its
// answers never reach them.
VirtualHost platform;

MessageBoxRequest Question(const char* text, const char* caption,
                           BoxButtons buttons = BoxButtons::kYesNo) {
  return {text, caption, BoxIcon::kError, buttons, nullptr};
}

TEST(ConsoleHost, TryAgainIsYesOnlyWithYesAndAtMostRetriesTimes) {
  ConsoleOutput output({true, false}, Verbosity::kNormal);
  ConsoleHost without(platform, BoxRules{}, output);
  EXPECT_EQ(without.ShowMessageBox(Question(kFlashWriteFailed, kErrorCaption)), BoxAnswer::kNo);
  EXPECT_EQ(without.Record().retriesGranted, 0);

  ConsoleHost with(platform, BoxRules{true, 2, false}, output);
  EXPECT_EQ(with.ShowMessageBox(Question(kFlashWriteFailed, kErrorCaption)), BoxAnswer::kYes);
  EXPECT_EQ(with.ShowMessageBox(Question(kRestoreRefusedBlock, kErrorCaption)), BoxAnswer::kYes);
  EXPECT_EQ(with.ShowMessageBox(Question(kFlashWriteFailed, kErrorCaption)), BoxAnswer::kNo);
  EXPECT_EQ(with.Record().retriesGranted, 2);
}

TEST(ConsoleHost, MapDatesGoOnOnlyWithAcceptDates) {
  ConsoleOutput output({true, false}, Verbosity::kNormal);
  ConsoleHost strict(platform, BoxRules{}, output);
  MessageBoxRequest warning =
      Question("Map expired", kMapDateWarningCaption, BoxButtons::kOkCancel);
  EXPECT_EQ(strict.ShowMessageBox(warning), BoxAnswer::kCancel);
  ConsoleHost accepting(platform, BoxRules{false, 3, true}, output);
  EXPECT_EQ(accepting.ShowMessageBox(warning), BoxAnswer::kOk);
}

TEST(ConsoleHost, AnotherUnitIsAlwaysNoAndNoticesAreOk) {
  ConsoleOutput output({true, false}, Verbosity::kNormal);
  ConsoleHost host(platform, BoxRules{true, 9, true}, output);
  EXPECT_EQ(host.ShowMessageBox(Question(kUploadAnotherQuestion, kUploadDoneCaption)),
            BoxAnswer::kNo);
  EXPECT_EQ(host.Record().retriesGranted, 0);
  EXPECT_EQ(host.ShowMessageBox(
                {"Could not open COM1.", kErrorCaption, BoxIcon::kError, BoxButtons::kOk, nullptr}),
            BoxAnswer::kOk);
  EXPECT_EQ(host.ShowMessageBox({kAttachNewUnitNote, kNoteCaption, BoxIcon::kInformation,
                                 BoxButtons::kOk, nullptr}),
            BoxAnswer::kOk);
  EXPECT_EQ(host.ShowMessageBox({"Line damaged, read again", "Parameter Transfer Error",
                                 BoxIcon::kWarning, BoxButtons::kOk, nullptr}),
            BoxAnswer::kOk);
}

TEST(ConsoleHost, ProgramUploadQuestionsAreAnsweredOnlyByTheirOptions) {
  ConsoleOutput output({true, false}, Verbosity::kNormal);
  MessageBoxRequest empty{kNoConfigurationQuestion, kNoteCaption, BoxIcon::kInformation,
                          BoxButtons::kYesNo, nullptr};
  MessageBoxRequest which{std::string(kRestoreChoiceLead) + "Yes: ...", kNoteCaption,
                          BoxIcon::kInformation, BoxButtons::kYesNoCancel, nullptr};
  ConsoleHost without(platform, BoxRules{true, 9, true}, output);
  EXPECT_EQ(without.ShowMessageBox(empty), BoxAnswer::kNo);
  EXPECT_EQ(without.ShowMessageBox(which), BoxAnswer::kCancel);
  EXPECT_EQ(without.Record().retriesGranted, 0);

  BoxRules saved;
  saved.restore = RestoreRule::kSaved;
  saved.noConfigOk = true;
  ConsoleHost with(platform, saved, output);
  EXPECT_EQ(with.ShowMessageBox(empty), BoxAnswer::kYes);
  EXPECT_EQ(with.ShowMessageBox(which), BoxAnswer::kYes);
  BoxRules unit;
  unit.restore = RestoreRule::kUnit;
  ConsoleHost own(platform, unit, output);
  EXPECT_EQ(own.ShowMessageBox(which), BoxAnswer::kNo);
}

TEST(ConsoleHost, QuestionWithoutRuleIsAnsweredSoThatNothingGoesAhead) {
  ConsoleOutput output({true, false}, Verbosity::kNormal);
  ConsoleHost host(platform, BoxRules{true, 9, true}, output);
  EXPECT_EQ(host.ShowMessageBox(Question("Erase everything?", "Question")), BoxAnswer::kNo);
  EXPECT_EQ(host.ShowMessageBox(Question("Proceed?", "Question", BoxButtons::kOkCancel)),
            BoxAnswer::kCancel);
  EXPECT_EQ(host.Record().retriesGranted, 0);
  std::string path = "stale";
  EXPECT_FALSE(host.ChooseFile({"Open", {}, nullptr}, path));
  EXPECT_TRUE(path.empty());
}

// A line from the unit may hold bytes that are no UTF-8: the JSON line still
// comes, each such byte as U+FFFD, its keys in order as scripts read them.
TEST(ConsoleOutput, BytesThatAreNoUtf8BecomeReplacementCharactersInAJsonLine) {
  ConsoleOutput output({true, false}, Verbosity::kNormal);
  testing::internal::CaptureStdout();
  output.LogLine("HDG \xff\"1\"");
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "{\"text\":\"HDG \xef\xbf\xbd\\\"1\\\"\",\"type\":\"log\"}\n");
}

}  // namespace
}  // namespace rv4410
