#include "wizard/qt/app_icon.h"

// The wizard is a static library: its resources register only when asked.
static void InitWizardResources() {
  Q_INIT_RESOURCE(wizard);
}

namespace rv4410 {

QIcon AppIcon() {
  static bool registered = false;
  if (!registered) {
    InitWizardResources();
    registered = true;
  }
  return QIcon(QStringLiteral(":/rv4410/app_icon.xpm"));
}

}  // namespace rv4410
