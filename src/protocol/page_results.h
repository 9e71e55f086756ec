#pragma once
// The results with which a page ends; the wizard maps them to the next page.

namespace rv4410 {

inline constexpr int kPageLeave = 0;          // leave the program
inline constexpr int kPageTryAgain = 4;       // back to the waiting page: detect the unit again
inline constexpr int kPageBack = 1000;        // "< &Back"
inline constexpr int kPageNext = 1001;        // "&Next >" or the default command
inline constexpr int kPageUnsuitable = 1002;  // the unit cannot take the selected map

}  // namespace rv4410
