#pragma once
// The configuration a program upload saved, and the one its restore writes
// back. A program upload reads the unit's configuration before it writes the
// flash, and writes it back afterwards. When the upload is tried again, the
// unit may answer with what a failed flash write left in it; the restore must
// still give back what the unit held before the first attempt. So, per unit:
// the first configuration saved is the one restored, wherever the keeping of
// earlier contents ("<file>.1", ...) has moved it since; later saves are kept
// too, but never restored.
//
// One record for the whole run, beside RunState. The program upload calls:
//   BeginUnit()         when a new unit is attached: "Upload to another
//                       unit?" answered Yes, or a new pass through the
//                       setup page. A new unit never gets another's list.
//   SaveBeforeUpload()  before the flash write (each attempt, retries too).
//   RestoreAfterUpload() after it, or WriteConfiguration(run, RestorePath()).

#include <string>

#include "config/read_configuration.h"
#include "protocol/run_state.h"

namespace rv4410 {

inline constexpr const char* kRestoreFromFirstSaveFormat =
    "The configuration saved first, now in %s, is the one written back\r\n";
inline constexpr const char* kNothingSavedForUnit =
    "No configuration was saved from this unit:\nnothing is written back to it.";

class SavedConfiguration {
 public:
  // Forgets the configuration saved for the unit before. The files stay on disk.
  void BeginUnit();

  // Reads the unit's configuration into the configuration file of the
  // settings (ReadConfiguration: a failed read leaves the file as it was, a
  // completed one keeps the earlier content as "<file>.N"), and returns its
  // result. The first completed save of this unit becomes the one to
  // restore; when a later save moves that content to "<file>.N", the record
  // follows it there.
  int SaveBeforeUpload(RunState& run);

  // True once a save of this unit has completed.
  bool HasSaved() const { return !restorePath_.empty(); }
  // The file holding the unit's first saved configuration; empty before a
  // save of this unit has completed.
  const std::string& RestorePath() const { return restorePath_; }

  // WriteConfiguration(run, RestorePath()): kWriteSent, or kWriteFileError
  // (nothing sent, the user told in an "Error" box and the log), also when
  // nothing was saved for this unit.
  int RestoreAfterUpload(RunState& run) const;

 private:
  std::string restorePath_;
};

}  // namespace rv4410
