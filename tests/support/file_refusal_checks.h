#pragma once
// What a reader's refusal makes the page show: checked on the returned value.

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "datafiles/file_refusal.h"

namespace rv4410::test {

// A refusal for `reason` that the page shows in an error box (OK only) with
// `text` under `caption`, and then logs.
inline void ExpectShownRefusal(const std::optional<FileRefusal>& refusal, RefusalReason reason,
                               const std::string& text, const std::string& caption = "Error") {
  ASSERT_TRUE(refusal.has_value()) << text;
  EXPECT_EQ(refusal->reason, reason) << text;
  EXPECT_EQ(refusal->text, text);
  ASSERT_NE(refusal->caption, nullptr) << text;
  EXPECT_EQ(std::string(refusal->caption), caption);
  EXPECT_EQ(refusal->icon, BoxIcon::kError);
  EXPECT_FALSE(refusal->loggedFirst);
}

// A refusal for `reason` that shows nothing and logs `logLine` alone (nothing
// when empty).
inline void ExpectQuietRefusal(const std::optional<FileRefusal>& refusal, RefusalReason reason,
                               const std::string& logLine = {}) {
  ASSERT_TRUE(refusal.has_value());
  EXPECT_EQ(refusal->reason, reason);
  EXPECT_EQ(refusal->text, logLine);
  EXPECT_EQ(refusal->caption, nullptr);
}

}  // namespace rv4410::test
