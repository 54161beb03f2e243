#include "gui/image_list.h"

#include <QHash>
#include <QString>
#include <utility>

#ifdef QUOLDEX_HAVE_IMAGES
// Outside any namespace, as Qt's resource start-up function requires.
static void InitImageResources() { Q_INIT_RESOURCE(quoldex); }
#endif

namespace quoldex::gui {
namespace {

// The resources of a static library must be registered by hand, once.
bool ResourcesReady() {
#ifdef QUOLDEX_HAVE_IMAGES
  static const bool ready = [] {
    InitImageResources();
    return true;
  }();
  return ready;
#else
  return false;
#endif
}

QString ImagePath(int index) { return QStringLiteral(":/images/%1.svg").arg(index); }

}  // namespace

QIcon Image(int index) {
  if (index < 0 || index >= kImageCount || !ResourcesReady()) return {};
  static QHash<int, QIcon> cache;
  auto found = cache.find(index);
  if (found == cache.end()) found = cache.insert(index, QIcon(ImagePath(index)));
  return *found;
}

QIcon NodeIcon(int image, int selected_image) {
  static QHash<std::pair<int, int>, QIcon> cache;
  const std::pair<int, int> key{image, selected_image};
  auto found = cache.find(key);
  if (found != cache.end()) return *found;
  QIcon icon;
  if (image >= 0 && image < kImageCount && ResourcesReady()) {
    icon.addFile(ImagePath(image), {}, QIcon::Normal);
    const int selected = selected_image >= 0 && selected_image < kImageCount ? selected_image : image;
    icon.addFile(ImagePath(selected), {}, QIcon::Selected);
  }
  return *cache.insert(key, icon);
}

QIcon AppIcon() {
  if (!ResourcesReady()) return {};
  return QIcon(QStringLiteral(":/images/quoldex.svg"));
}

}  // namespace quoldex::gui
