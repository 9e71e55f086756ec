#include "wizard/splash_texts.h"

namespace rv4410 {

SplashTexts SplashTextsFor(const std::optional<VersionInfo>& version) {
  if (!version) return {kSplashTemplateCaption, kSplashTemplateLine1, kSplashTemplateLine2};
  return {version->productName + "  " + version->productVersion,
          version->fileDescription + kSplashVersionWord + version->productVersion,
          version->legalCopyright};
}

}  // namespace rv4410
