#include <QApplication>
#include <cstdio>
#include <string_view>

#include "ui/main_window.h"
#include "version.h"

namespace {

constexpr const char* kUsage =
    "Usage: keelpack [PATH...]\n"
    "Makes JPEG files smaller without touching their pictures.\n"
    "\n"
    "Opens the window at PATH: a folder opens in the folder list; JPEG files open their\n"
    "folder with those files selected. Nothing is processed until a button is pressed.\n"
    "Without PATH the window opens in the folder it showed when it was last closed, else\n"
    "in the pictures folder, else in the home folder.\n"
    "\n"
    "  -h, --help     print this help and exit\n"
    "      --version  print the version and exit\n"
    "\n"
    "For scripts and large libraries, keelpack-cli runs the same without a window.\n";

QString FromView(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

// Keelpack's desktop program: its window, opened at the paths it is given.
int main(int argc, char** argv) {
  // Answered before the window system is reached, so that they work without a display.
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--") break;
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (arg == "--version") {
      std::printf("%.*s %.*s\n", static_cast<int>(keelpack::kProgramName.size()),
                  keelpack::kProgramName.data(), static_cast<int>(keelpack::kVersion.size()),
                  keelpack::kVersion.data());
      return 0;
    }
  }
  QApplication app(argc, argv);
  QApplication::setApplicationName(FromView(keelpack::kProgramName));
  QApplication::setApplicationVersion(FromView(keelpack::kVersion));
  // The toolkit has taken its own options out; what starts with "-" now is not ours.
  QStringList paths;
  bool options = true;
  for (const QString& arg : QApplication::arguments().mid(1)) {
    if (options && arg == QLatin1String("--")) {
      options = false;
    } else if (options && arg.startsWith(QLatin1Char('-')) && arg != QLatin1String("-")) {
      std::fprintf(stderr, "keelpack: unknown option %s (see keelpack --help)\n", qPrintable(arg));
      return 2;
    } else {
      paths << arg;
    }
  }
  keelpack::ui::MainWindow window(paths);
  window.show();
  return QApplication::exec();
}
