#pragma once
// What the transfer set-up needs of the transfer page: its status fields. The
// page's logic (uploads/transfer_driver) and its windows build on this; the
// protocol never ends the page.

#include <string_view>

#include "platform/host.h"

namespace rv4410 {

// The page's status fields.
inline constexpr int kStatusField1032 = 1032;
inline constexpr int kStatusField1033 = 1033;

class TransferPage {
 public:
  virtual ~TransferPage() = default;
  // Writes one of the one-line status fields (1032 or 1033).
  virtual void SetStatusText(int field, std::string_view text) = 0;
  // The page window, as owner of the boxes the page shows.
  virtual WindowRef Window() const = 0;
};

}  // namespace rv4410
