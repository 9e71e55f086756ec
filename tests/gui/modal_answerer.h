#pragma once
// Answers the modal windows a page opens under the real Qt host: message
// boxes (recorded, then a button clicked), the file-open dialog and any other
// dialog, each handed to the test's handler once. It looks for the active
// modal window every few milliseconds, from inside the window's own loop.

#include <QAbstractButton>
#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <functional>
#include <optional>
#include <vector>

namespace rv4410::test {

class ModalAnswerer : public QObject {
 public:
  struct Box {
    QString text;
    QString caption;
    QMessageBox::Icon icon;
    QWidget* owner;
    Qt::WindowModality modality;
    int width;
  };

  ModalAnswerer() {
    poll_.setInterval(5);
    QObject::connect(&poll_, &QTimer::timeout, this, [this] { Look(); });
    poll_.start();
  }

  // How boxes are answered (default: OK, else Cancel, else No).
  std::function<QMessageBox::StandardButton(const QMessageBox&)> onBox;
  // The file-open dialog: a path to choose, or nothing to cancel (default).
  std::function<std::optional<QString>(QFileDialog&)> onFileDialog;
  // Any other modal dialog, such as the page itself; true when it was dealt
  // with. Without a handler such dialogs are left alone.
  std::function<bool(QDialog&)> onDialog;

  std::vector<Box> boxes;
  int fileDialogs = 0;

  std::vector<QString> BoxTexts() const {
    std::vector<QString> texts;
    for (const Box& box : boxes) texts.push_back(box.text);
    return texts;
  }

 private:
  void Look() {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr || handled_.contains(modal)) return;
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
      handled_.push_back(modal);
      boxes.push_back({box->text(), box->windowTitle(), box->icon(), box->parentWidget(),
                       box->windowModality(), box->width()});
      QMessageBox::StandardButton answer = onBox ? onBox(*box) : QMessageBox::Ok;
      if (box->button(answer) == nullptr) answer = QMessageBox::Cancel;
      if (box->button(answer) == nullptr) answer = QMessageBox::No;
      if (QAbstractButton* button = box->button(answer)) button->click();
      return;
    }
    if (auto* files = qobject_cast<QFileDialog*>(modal)) {
      handled_.push_back(modal);
      ++fileDialogs;
      std::optional<QString> path = onFileDialog ? onFileDialog(*files) : std::nullopt;
      if (!path) {
        files->reject();
        return;
      }
      files->selectFile(*path);
      onFileDialog = nullptr;
      // Accepted from the dialog's own loop, so that a box it opens over
      // itself is answered by a later look. A refused name leaves the dialog
      // open: it is cancelled on the look after.
      QTimer::singleShot(0, files, [this, files] {
        static_cast<QDialog*>(files)->accept();
        if (files->isVisible()) handled_.removeAll(files);
      });
      return;
    }
    auto* dialog = qobject_cast<QDialog*>(modal);
    if (dialog != nullptr && onDialog && onDialog(*dialog)) handled_.push_back(modal);
  }

  QTimer poll_;
  QList<QPointer<QWidget>> handled_;
};

}  // namespace rv4410::test
