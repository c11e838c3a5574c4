#include <QApplication>

#include "ui/form1.h"
#include "version.h"

// Keelpack's desktop program. It takes no arguments: everything happens in its window.
int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QString::fromUtf8(
      keelpack::kProgramName.data(), static_cast<qsizetype>(keelpack::kProgramName.size())));
  QApplication::setApplicationVersion(QString::fromUtf8(
      keelpack::kVersion.data(), static_cast<qsizetype>(keelpack::kVersion.size())));
  keelpack::ui::Form1 window;
  window.show();
  return QApplication::exec();
}
