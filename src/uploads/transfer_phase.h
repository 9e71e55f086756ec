#pragma once
// The phases of the transfer page's operation, as a front end names them
// beside its progress: which step the status field's text belongs to.

namespace rv4410 {

enum class TransferPhase {
  kReadingConfiguration,
  kWritingConfiguration,
  kSendingProgram,
  kWritingFlash,
  kRestoringConfiguration,
  kSendingMap,
};

inline constexpr const char* kPhaseReadingConfiguration = "reading configuration";
inline constexpr const char* kPhaseWritingConfiguration = "writing configuration";
inline constexpr const char* kPhaseSendingProgram = "sending program";
inline constexpr const char* kPhaseWritingFlash = "writing flash";
inline constexpr const char* kPhaseRestoringConfiguration = "restoring configuration";
inline constexpr const char* kPhaseSendingMap = "sending map";

constexpr const char* TransferPhaseName(TransferPhase phase) {
  switch (phase) {
    case TransferPhase::kReadingConfiguration:
      return kPhaseReadingConfiguration;
    case TransferPhase::kWritingConfiguration:
      return kPhaseWritingConfiguration;
    case TransferPhase::kSendingProgram:
      return kPhaseSendingProgram;
    case TransferPhase::kWritingFlash:
      return kPhaseWritingFlash;
    case TransferPhase::kRestoringConfiguration:
      return kPhaseRestoringConfiguration;
    case TransferPhase::kSendingMap:
      return kPhaseSendingMap;
  }
  return "";
}

}  // namespace rv4410
