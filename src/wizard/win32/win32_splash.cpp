#include "wizard/win32/win32_splash.h"

#include <cstring>
#include <vector>

#include "wizard/win32/resource_ids.h"
#include "wizard/win32/win32_dialog.h"

namespace rv4410 {

namespace {

constexpr UINT_PTR kSplashTimer = 1;
constexpr const char* kStringBlock = "\\StringFileInfo\\040904b0\\";

class Win32Splash : public Win32Dialog {
 public:
  Win32Splash() : Win32Dialog(IDD_SPLASH, nullptr) {}
  void Run() { RunModal(); }

 protected:
  void OnInit() override {
    SplashTexts texts = SplashTextsFor(ProgramVersionInfo());
    SetTexts(texts.caption.c_str(),
             {{IDC_SPLASH_LINE1, texts.line1.c_str()}, {IDC_SPLASH_LINE2, texts.line2.c_str()}});
    SetClassIcon();
    SetTimer(Handle(), kSplashTimer, kSplashMs, nullptr);
  }
  void OnCommand(int id) override {
    if (id == IDOK || id == IDCANCEL) Finish();
  }
  void OnClose() override {
    PostQuitMessage(0);
    Finish();
  }
  bool OnMessage(UINT message, WPARAM wParam, LPARAM, INT_PTR& result) override {
    bool ends = (message == WM_TIMER && wParam == kSplashTimer) || message == WM_LBUTTONUP ||
                message == WM_RBUTTONUP;
    if (!ends) return false;
    Finish();
    result = TRUE;
    return true;
  }

 private:
  void Finish() {
    KillTimer(Handle(), kSplashTimer);
    End(0);
  }
};

// One value of the version resource's string block; false when it has none.
bool VersionValue(std::vector<char>& block, const char* name, std::string& value) {
  std::string path = std::string(kStringBlock) + name;
  char* text = nullptr;
  UINT length = 0;
  if (!VerQueryValueA(block.data(), path.c_str(), reinterpret_cast<void**>(&text), &length) ||
      text == nullptr) {
    return false;
  }
  // Some writers count the terminator in the length, some do not.
  value.assign(text, strnlen(text, length));
  return true;
}

}  // namespace

std::optional<VersionInfo> ProgramVersionInfo() {
  char file[MAX_PATH + 1] = {};
  DWORD length = GetModuleFileNameA(nullptr, file, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return std::nullopt;
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeA(file, &ignored);
  if (size == 0) return std::nullopt;
  std::vector<char> block(size);
  if (!GetFileVersionInfoA(file, 0, size, block.data())) return std::nullopt;
  VersionInfo version;
  if (!VersionValue(block, "ProductName", version.productName) ||
      !VersionValue(block, "ProductVersion", version.productVersion) ||
      !VersionValue(block, "FileDescription", version.fileDescription) ||
      !VersionValue(block, "LegalCopyright", version.legalCopyright)) {
    return std::nullopt;
  }
  return version;
}

void DoSplash(ActivityLog& log) {
  log.LogLine(kDoSplashLogLine);
  Win32Splash splash;
  splash.Run();
}

bool QuitPending() {
  MSG message;
  return PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE) != FALSE;
}

}  // namespace rv4410
