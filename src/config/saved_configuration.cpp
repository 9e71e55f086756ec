#include "config/saved_configuration.h"

#include "config/write_configuration.h"
#include "protocol/command_lines.h"

namespace rv4410 {

void SavedConfiguration::BeginUnit() {
  restorePath_.clear();
}

int SavedConfiguration::SaveBeforeUpload(RunState& run) {
  ConfigurationFileChange change;
  int result = ReadConfiguration(run, change);
  if (result != kReadDone) return result;
  if (restorePath_.empty()) {
    restorePath_ = run.settings.configFile;
  } else if (restorePath_ == run.settings.configFile && !change.keptAs.empty()) {
    restorePath_ = change.keptAs;
    run.log.LogPrintf(kRestoreFromFirstSaveFormat, restorePath_.c_str());
  }
  return result;
}

int SavedConfiguration::RestoreAfterUpload(RunState& run) const {
  // Nothing saved for this unit: the file that is there may be another unit's.
  if (restorePath_.empty()) {
    run.log.LogLine(kNothingSavedForUnit);
    run.host.ShowMessageBox(
        {kNothingSavedForUnit, kErrorCaption, BoxIcon::kError, BoxButtons::kOk, nullptr});
    return kWriteFileError;
  }
  return WriteConfiguration(run, restorePath_);
}

}  // namespace rv4410
