#include "ui/translucency.h"

#include <QtGui/qguiapplication_platform.h>
#include <xcb/xcb.h>

#include <QBitmap>
#include <QGuiApplication>
#include <QWidget>
#include <algorithm>
#include <cstdlib>
#include <memory>

namespace keelpack::ui {
namespace {

constexpr int kOpaque = 255;
const QRgb kPureBlack = qRgb(0, 0, 0);

// X11 draws window opacity only through a compositing manager, which announces itself by
// owning the selection _NET_WM_CM_S<screen>. Qt uses one X screen, number 0.
bool CompositingManagerRunning() {
  auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
  if (x11 == nullptr || x11->connection() == nullptr) return false;
  xcb_connection_t* connection = x11->connection();

  static constexpr char kSelection[] = "_NET_WM_CM_S0";
  const xcb_intern_atom_cookie_t atomCookie =
      xcb_intern_atom(connection, 1, sizeof kSelection - 1, kSelection);
  const std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> atom(
      xcb_intern_atom_reply(connection, atomCookie, nullptr), &std::free);
  if (!atom || atom->atom == XCB_ATOM_NONE) return false;

  const xcb_get_selection_owner_cookie_t ownerCookie =
      xcb_get_selection_owner(connection, atom->atom);
  const std::unique_ptr<xcb_get_selection_owner_reply_t, decltype(&std::free)> owner(
      xcb_get_selection_owner_reply(connection, ownerCookie, nullptr), &std::free);
  return owner && owner->owner != XCB_WINDOW_NONE;
}

}  // namespace

bool WindowOpacityAvailable() {
  if (qGuiApp == nullptr) return false;
  const QString platform = QGuiApplication::platformName();
  if (platform == QLatin1String("xcb")) return CompositingManagerRunning();
  // Desktops that always compose their windows; kept for a port to them.
  if (platform == QLatin1String("windows") || platform == QLatin1String("cocoa")) return true;
  // offscreen, minimal, wayland (no client-side opacity), eglfs, linuxfb, vnc
  return false;
}

void MakeWindowTransparent(QWidget* window, int alpha) {
  if (window == nullptr) return;
  window->setWindowOpacity(std::clamp(alpha, 0, kOpaque) / static_cast<double>(kOpaque));
  // The property change waits in the connection's buffer until other traffic sends it, which
  // would show a whole fade at once; each step goes to the X server now.
  auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
  if (x11 != nullptr && x11->connection() != nullptr) xcb_flush(x11->connection());
}

QRegion NonBlackRegion(const QImage& image) {
  const QImage colours = image.convertToFormat(QImage::Format_RGB32);
  // A region made from a bitmap holds its colour-1 pixels. The "mask in" image marks the
  // black pixels with its second colour, white, which the bitmap takes as colour 0: what is
  // left in colour 1 is everything else.
  return QRegion(QBitmap::fromImage(colours.createMaskFromColor(kPureBlack, Qt::MaskInColor)));
}

void MakeBlackTransparent(QWidget* window) {
  if (window == nullptr || window->size().isEmpty()) return;
  // The mask itself must not cut what is rendered, or a part once black would stay hidden.
  QImage shot(window->size(), QImage::Format_RGB32);
  shot.fill(kPureBlack);
  window->render(&shot, QPoint(), QRegion(),
                 QWidget::DrawWindowBackground | QWidget::DrawChildren | QWidget::IgnoreMask);
  window->setMask(NonBlackRegion(shot));
}

}  // namespace keelpack::ui
