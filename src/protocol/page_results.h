#pragma once
// The results with which a page ends; the wizard maps them to the next page.
// The Qt dialogs carry them as the int of QDialog::done.

namespace rv4410 {

enum PageResult : int {
  kPageLeave = 0,          // leave the program
  kPageTryAgain = 4,       // back to the waiting page: detect the unit again
  kPageBack = 1000,        // "< &Back"
  kPageNext = 1001,        // "&Next >" or the default command
  kPageUnsuitable = 1002,  // the unit cannot take the selected map
};

}  // namespace rv4410
