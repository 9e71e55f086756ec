#include "platform/win32_host.h"

#include <algorithm>
#include <vector>

#include "platform/windows_api.h"
// The common dialogs need windows.h above them.
#include <commdlg.h>

#include "platform/win32_port_names.h"

namespace rv4410 {

namespace {

// How often PumpMessages looks at the message queue when called in a tight
// loop: a look costs a call into the system, and the serial link pumps once
// per byte it moves; the window answers at once at one look a millisecond.
constexpr std::int64_t kPumpIntervalUs = 1000;
// The longest file name the dialog returns.
constexpr DWORD kChosenPathSize = 4096;

std::int64_t MicrosecondsNow() {
  static const LONGLONG frequency = [] {
    LARGE_INTEGER value;
    QueryPerformanceFrequency(&value);
    return value.QuadPart;
  }();
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return static_cast<std::int64_t>(now.QuadPart / frequency * 1'000'000 +
                                   now.QuadPart % frequency * 1'000'000 / frequency);
}

UINT BoxStyle(const MessageBoxRequest& request) {
  // Task-modal: the whole program waits for the answer.
  UINT style = MB_TASKMODAL;
  switch (request.icon) {
    case BoxIcon::kError:
      style |= MB_ICONERROR;
      break;
    case BoxIcon::kWarning:
      style |= MB_ICONWARNING;
      break;
    case BoxIcon::kInformation:
      style |= MB_ICONINFORMATION;
      break;
    case BoxIcon::kNone:
      break;
  }
  switch (request.buttons) {
    case BoxButtons::kOk:
      style |= MB_OK;
      break;
    case BoxButtons::kOkCancel:
      style |= MB_OKCANCEL;
      break;
    case BoxButtons::kYesNo:
      style |= MB_YESNO;
      break;
    case BoxButtons::kYesNoCancel:
      style |= MB_YESNOCANCEL;
      break;
  }
  return style;
}

// The dialog's filter list: "text\0pattern\0" for each, and one more "\0".
std::string FilterList(const std::vector<FileFilter>& filters) {
  std::string list;
  for (const FileFilter& filter : filters) {
    list += filter.text;
    list += '\0';
    list += filter.pattern;
    list += '\0';
  }
  list += '\0';
  return list;
}

}  // namespace

std::int64_t Win32Host::TickCount() {
  return static_cast<std::int64_t>(GetTickCount64());
}

void Win32Host::RunMessages() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      quitRequested_ = true;
      break;
    }
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  lastPumpUs_ = MicrosecondsNow();
}

void Win32Host::PumpMessages() {
  if (MicrosecondsNow() - lastPumpUs_ < kPumpIntervalUs) return;
  RunMessages();
  device_.Poll();
}

void Win32Host::SleepUntil(std::int64_t deadline, bool withInput) {
  device_.Poll();
  std::int64_t remaining = deadline - TickCount();
  if (remaining <= 0) {
    PumpMessages();
    return;
  }
  std::vector<HANDLE> events;
  for (void* event : device_.WakeEvents(withInput)) events.push_back(static_cast<HANDLE>(event));
  // Sleeps until serial input (the pending read ends), a write is taken, a
  // message arrives for this thread's windows, or the deadline.
  MsgWaitForMultipleObjectsEx(
      static_cast<DWORD>(events.size()), events.data(),
      static_cast<DWORD>(std::min<std::int64_t>(remaining, 24 * 3600 * 1000)), QS_ALLINPUT,
      MWMO_INPUTAVAILABLE);
  ++wakeups_;
  RunMessages();
  device_.Poll();
}

void Win32Host::WaitForEvent(std::int64_t deadline) {
  SleepUntil(deadline, true);
}

void Win32Host::WaitForUserEvent(std::int64_t deadline) {
  // The bytes gather in the driver meanwhile; they count as waiting all the
  // same, and the next read fetches them all at once.
  SleepUntil(deadline, false);
}

BoxAnswer Win32Host::ShowMessageBox(const MessageBoxRequest& request) {
  HWND owner = static_cast<HWND>(const_cast<void*>(request.owner));
  switch (MessageBoxA(owner, request.text.c_str(), request.caption.c_str(), BoxStyle(request))) {
    case IDYES:
      return BoxAnswer::kYes;
    case IDNO:
      return BoxAnswer::kNo;
    case IDCANCEL:
      return BoxAnswer::kCancel;
    case IDOK:
      return BoxAnswer::kOk;
    default:
      break;
  }
  // No box could be shown (no desktop): nothing goes ahead.
  return SafestAnswer(request.buttons);
}

void Win32Host::Beep() {
  // The simple beep.
  MessageBeep(0xFFFFFFFF);
}

void Win32Host::SetCursor(CursorShape shape) {
  LPCSTR cursor = IDC_ARROW;
  if (shape == CursorShape::kWait) cursor = IDC_WAIT;
  if (shape == CursorShape::kAppStarting) cursor = IDC_APPSTARTING;
  ::SetCursor(LoadCursorA(nullptr, cursor));
}

std::time_t Win32Host::WallClock() {
  return std::time(nullptr);
}

bool Win32Host::ChooseFile(const FileChoiceRequest& request, std::string& path) {
  path.clear();
  std::string filters = FilterList(request.filters);
  std::vector<char> chosen(kChosenPathSize, '\0');
  OPENFILENAMEA dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = static_cast<HWND>(const_cast<void*>(request.owner));
  dialog.lpstrFilter = filters.c_str();
  dialog.nFilterIndex = 1;
  dialog.lpstrFile = chosen.data();
  dialog.nMaxFile = kChosenPathSize;
  dialog.lpstrTitle = request.title.empty() ? nullptr : request.title.c_str();
  // A name that does not exist yet may be given, after the dialog has asked
  // whether to create it (it creates nothing); its folder must exist. The
  // working folder stays: Loader.LOG and the default files are found there.
  dialog.Flags = OFN_CREATEPROMPT | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
  if (!GetOpenFileNameA(&dialog)) return false;
  path = chosen.data();
  return true;
}

PortDiagnosis Win32Host::DiagnosePort(const std::string& portName) {
  // The loader's own handle is closed before any diagnosis; why its last
  // open of this port failed is the one sign of another program holding it.
  bool failedHere = !device_.IsOpen() && device_.LastOpenError() != 0 &&
                    device_.DevicePath() == Win32DevicePath(portName);
  return DiagnoseWin32Port(portName, failedHere ? device_.LastOpenError() : 0);
}

}  // namespace rv4410
