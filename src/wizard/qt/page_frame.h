#pragma once
// The frame every wizard page shares: its picture on the left beside the
// page's own controls, an etched line, and the row of buttons below.

#include <QSize>

#include "wizard/qt/dialog_units.h"
#include "wizard/qt/page_picture.h"

class QDialog;
class QHBoxLayout;
class QLayout;
class QPushButton;
class QWidget;

namespace rv4410 {

// Sizes shared by the pages, in dialog units.
inline constexpr int kPageMargin = 7;
inline constexpr int kPagePictureWidth = 143;
inline constexpr int kPageButtonWidth = 50;
inline constexpr int kPageButtonHeight = 14;

// A page's button, at least 50 by 14 units. Never a default button: the
// page's default command is Enter, whichever button has the focus.
QPushButton* MakePageButton(const char* text, const char* name, const DialogUnits& units,
                            QWidget* parent);

// Lays out `page`: the picture of `kind` (named "picture", at least
// `pictureMinHeight` units high) beside `content`, their widths in the ratio
// 143 : `contentWidth`; an etched line; `buttons` below. Then fixes the
// page's size at `size` units, or larger where its contents need it.
void LayOutPage(QDialog& page, const DialogUnits& units, PictureKind kind, int pictureMinHeight,
                QLayout* content, int contentWidth, QHBoxLayout* buttons, QSize size);

}  // namespace rv4410
