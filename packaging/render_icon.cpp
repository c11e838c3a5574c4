// Renders the icon's PNG sizes from its SVG, for the icon theme's folders:
//   keelpack_render_icon ICON.svg OUTPUT_FOLDER SIZE...
// writes OUTPUT_FOLDER/<SIZE>x<SIZE>/apps/<name of ICON>.png for each size.
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <cstdio>

// Painting into an image needs no display and no application object: the icon has no text.
int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: keelpack_render_icon ICON.svg OUTPUT_FOLDER SIZE...\n");
    return 2;
  }
  const QString svgPath = QString::fromLocal8Bit(argv[1]);
  QSvgRenderer renderer(svgPath);
  if (!renderer.isValid()) {
    std::fprintf(stderr, "cannot read %s\n", argv[1]);
    return 1;
  }
  const QString name = QFileInfo(svgPath).completeBaseName() + QStringLiteral(".png");
  for (int i = 3; i < argc; ++i) {
    bool isNumber = false;
    const int size = QString::fromLatin1(argv[i]).toInt(&isNumber);
    if (!isNumber || size <= 0) {
      std::fprintf(stderr, "not a size: %s\n", argv[i]);
      return 2;
    }
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter);
    painter.end();
    const QString folder =
        QDir(QString::fromLocal8Bit(argv[2])).filePath(QStringLiteral("%1x%1/apps").arg(size));
    const QString path = QDir(folder).filePath(name);
    if (!QDir().mkpath(folder) || !image.save(path, "PNG")) {
      std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
      return 1;
    }
  }
  return 0;
}
