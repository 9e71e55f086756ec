// rv4410-pictures DIR: renders the pages' pictures and the application icon
// for the Win32 wizard's resources: DIR/splash.bmp, setup.bmp, waiting.bmp,
// transfer.bmp (256 colours, at the size their controls take at 96 dots per
// inch) and DIR/app_icon.ico. The pictures are the Qt pages' own drawings.

#include <QApplication>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <cstdio>

#include "wizard/qt/app_icon.h"
#include "wizard/qt/page_picture.h"

namespace {

using rv4410::PagePicture;
using rv4410::PictureKind;

struct Picture {
  const char* file;
  PictureKind kind;
  int width;
  int height;
};

// Dialog units of "MS Sans Serif" 8 at 96 dots per inch: 1.5 pixels across,
// 1.625 down. Splash 191 x 160, pages 143 x 198.
constexpr Picture kPictures[] = {
    {"splash.bmp", PictureKind::kSplash, 287, 260},
    {"setup.bmp", PictureKind::kSetup, 215, 322},
    {"waiting.bmp", PictureKind::kWaiting, 215, 322},
    {"transfer.bmp", PictureKind::kTransfer, 215, 322},
};

bool Save(const QImage& image, const QDir& dir, const char* file, const char* format) {
  QString path = dir.filePath(QString::fromLatin1(file));
  if (image.save(path, format)) return true;
  std::fprintf(stderr, "rv4410-pictures: cannot write %s\n", qPrintable(path));
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: rv4410-pictures DIR\n");
    return 2;
  }
  QDir dir(QString::fromLocal8Bit(argv[1]));
  if (!dir.mkpath(QStringLiteral("."))) return 1;
  bool ok = true;
  for (const Picture& picture : kPictures) {
    PagePicture widget(picture.kind);
    widget.setFixedSize(picture.width, picture.height);
    QImage image(picture.width, picture.height, QImage::Format_RGB32);
    image.fill(Qt::white);
    widget.render(&image);
    // 256 colours keep the program small; the drawings have few.
    ok &= Save(image.convertToFormat(QImage::Format_Indexed8), dir, picture.file, "BMP");
  }
  QImage icon = rv4410::AppIcon().pixmap(32, 32).toImage();
  ok &= Save(icon, dir, "app_icon.ico", "ICO");
  return ok ? 0 : 1;
}
