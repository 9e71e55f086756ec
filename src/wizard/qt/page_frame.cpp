#include "wizard/qt/page_frame.h"

#include <QDialog>
#include <QFrame>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

namespace rv4410 {

QPushButton* MakePageButton(const char* text, const char* name, const DialogUnits& units,
                            QWidget* parent) {
  auto* button = new QPushButton(QString::fromLatin1(text), parent);
  button->setObjectName(QString::fromLatin1(name));
  button->setAutoDefault(false);
  button->setDefault(false);
  button->setMinimumSize(units.Size(kPageButtonWidth, kPageButtonHeight));
  return button;
}

void LayOutPage(QDialog& page, const DialogUnits& units, PictureKind kind, int pictureMinHeight,
                QLayout* content, int contentWidth, QHBoxLayout* buttons, QSize size) {
  auto* picture = new PagePicture(kind, &page);
  picture->setObjectName(QStringLiteral("picture"));
  picture->setMinimumSize(units.Size(kPagePictureWidth / 2, pictureMinHeight));

  auto* top = new QHBoxLayout;
  top->setSpacing(units.X(kPageMargin - 1));
  top->addWidget(picture, kPagePictureWidth);
  top->addLayout(content, contentWidth);

  auto* etched = new QFrame(&page);
  etched->setObjectName(QStringLiteral("etchedLine"));
  etched->setFrameShape(QFrame::HLine);
  etched->setFrameShadow(QFrame::Sunken);

  auto* layout = new QVBoxLayout(&page);
  layout->setContentsMargins(units.X(kPageMargin), units.Y(kPageMargin), units.X(kPageMargin),
                             units.Y(kPageMargin));
  layout->addLayout(top, 1);
  layout->addWidget(etched);
  layout->addLayout(buttons);
  // Pages are fixed-size windows.
  page.setFixedSize(units.Size(size.width(), size.height()).expandedTo(page.minimumSizeHint()));
}

}  // namespace rv4410
