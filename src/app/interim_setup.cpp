#include "app/interim_setup.h"

#include "protocol/page_results.h"

namespace rv4410 {

SetupRunner InterimSetupRunner(LoaderState& state) {
  return [&state] {
    MessageBoxRequest request;
    request.text = kInterimSetupQuestion;
    request.caption = kInterimSetupCaption;
    request.icon = BoxIcon::kInformation;
    request.buttons = BoxButtons::kYesNo;
    if (state.run.host.ShowMessageBox(request) != BoxAnswer::kYes) return kPageLeave;
    // Reading needs no file of the user's: the one function safe without the page.
    state.run.settings.function = kReadConfiguration;
    return kPageNext;
  };
}

}  // namespace rv4410
