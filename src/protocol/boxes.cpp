#include "protocol/boxes.h"

#include "platform/format.h"

namespace rv4410 {

BoxAnswer ShowBox(RunState& run, const MessageBoxRequest& box, BoxLine order,
                  std::string_view line) {
  if (line.empty()) line = box.text;
  if (order == BoxLine::kBefore) run.log.LogShown(line);
  BoxAnswer answer = run.host.ShowMessageBox(box);
  if (order == BoxLine::kAfter) run.log.LogShown(line);
  run.log.LogShown(FormatText(kBoxAnswerFormat, BoxAnswerName(answer)));
  return answer;
}

}  // namespace rv4410
