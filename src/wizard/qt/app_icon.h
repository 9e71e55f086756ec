#pragma once
// The application icon that every page shows as its window icon.

#include <QIcon>

namespace rv4410 {

QIcon AppIcon();

}  // namespace rv4410
