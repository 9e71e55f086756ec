#pragma once
// What the protocol and the uploads need of the transfer page. The Qt dialog in
// wizard/ implements it; tests use a recording page.

#include <string_view>

#include "platform/host.h"

namespace rv4410 {

struct RunState;

// The page's status fields.
inline constexpr int kStatusField1032 = 1032;
inline constexpr int kStatusField1033 = 1033;

class TransferPage {
 public:
  virtual ~TransferPage() = default;
  // Ends the page with `result` (the page closes when control returns to it).
  virtual void EndPage(int result) = 0;
  // Writes one of the one-line status fields (1032 or 1033).
  virtual void SetStatusText(int field, std::string_view text) = 0;
  // The page window, as owner of the boxes the page shows.
  virtual WindowRef Window() const = 0;
};

// Makes `page` the one that CheckReply ends for as long as this object lives,
// then puts back whichever page was installed before. A page that is gone can
// then never be ended by a later check.
class TransferPageInstall {
 public:
  TransferPageInstall(RunState& run, TransferPage& page);
  ~TransferPageInstall();
  TransferPageInstall(const TransferPageInstall&) = delete;
  TransferPageInstall& operator=(const TransferPageInstall&) = delete;

 private:
  RunState& run_;
  TransferPage* previous_;
};

}  // namespace rv4410
