#include "wizard/win32/win32_transfer_dialog.h"

#include <string>

#include "platform/windows_api.h"
// The progress bar's messages need windows.h above them.
#include <commctrl.h>

#include "wizard/win32/resource_ids.h"

namespace rv4410 {

namespace {

constexpr UINT_PTR kStartTimer = 1;
constexpr int kBackButton = 1000;
constexpr int kNextCommand = 1001;

}  // namespace

Win32TransferDialog::Win32TransferDialog(LoaderState& state)
    : Win32Dialog(IDD_TRANSFER, nullptr), state_(state) {}

void Win32TransferDialog::OnInit() {
  SetTexts(kTransferCaption, {{kBackButton, kTransferBackText}, {IDCANCEL, kTransferExitText}});
  log_.Bind(Item(IDC_LOG_WINDOW));
  TransferPageOpen(state_, *this);
}

void Win32TransferDialog::EndPage(int result) {
  StopTimer();
  End(result);
}

void Win32TransferDialog::SetStatusText(int field, std::string_view text) {
  SetDlgItemTextA(Handle(), field, std::string(text).c_str());
}

void Win32TransferDialog::StartTimer(std::int64_t ms) {
  SetTimer(Handle(), kStartTimer, static_cast<UINT>(ms), nullptr);
}

void Win32TransferDialog::StopTimer() {
  KillTimer(Handle(), kStartTimer);
}

void Win32TransferDialog::SetProgressRange(int minimum, int maximum, int step) {
  SendDlgItemMessageA(Handle(), IDC_PROGRESS, PBM_SETRANGE32, static_cast<WPARAM>(minimum),
                      maximum);
  SendDlgItemMessageA(Handle(), IDC_PROGRESS, PBM_SETSTEP, static_cast<WPARAM>(step), 0);
}

void Win32TransferDialog::SetProgress(int position) {
  SendDlgItemMessageA(Handle(), IDC_PROGRESS, PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

void Win32TransferDialog::EnableExit(bool enabled) {
  EnableWindow(Item(IDCANCEL), enabled ? TRUE : FALSE);
}

void Win32TransferDialog::ShowCursor(CursorShape shape) {
  state_.run.host.SetCursor(shape);
}

void Win32TransferDialog::OnCommand(int id) {
  switch (id) {
    case IDOK:
    case kNextCommand:
      // Enter ends the program; a stray one must not abandon an operation halfway.
      if (!state_.OperationRunning) Command(TransferCommand::kNext);
      break;
    case kBackButton:
      Command(TransferCommand::kBack);
      break;
    case IDCANCEL:
      // Escape is the "Exit" button's key; a disabled button takes no command.
      if (IsWindowEnabled(Item(IDCANCEL))) Command(TransferCommand::kExit);
      break;
    default:
      break;
  }
}

void Win32TransferDialog::OnClose() {
  Command(TransferCommand::kClose);
}

bool Win32TransferDialog::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) {
  switch (message) {
    case WM_TIMER:
      if (wParam != kStartTimer) return false;
      // The operation runs once, inside this tick; its waits run the page's messages.
      StopTimer();
      if (!HasEnded() && !state_.run.CancelRequested) TransferPageTimer(state_, *this);
      result = TRUE;
      return true;
    case WM_SETCURSOR:
      // Over the page's client area the cursor follows the two flags.
      if (LOWORD(lParam) != HTCLIENT) return false;
      ShowCursor(TransferPageCursor(state_));
      SetWindowLongPtrA(Handle(), DWLP_MSGRESULT, TRUE);
      result = TRUE;
      return true;
    case WM_DESTROY:
      log_.Bind(nullptr);
      return false;
    default:
      break;
  }
  return false;
}

void Win32TransferDialog::Command(TransferCommand command) {
  if (!HasEnded()) TransferPageCommand(state_, *this, command);
}

}  // namespace rv4410
