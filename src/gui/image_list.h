// The main window's image list: the 30 pictures numbered as the actions,
// menus and tree nodes use them, and the program's icon. They are scalable
// drawings compiled into the program, so they stay sharp at any screen
// scale.
#pragma once

#include <QIcon>

namespace quoldex::gui {

inline constexpr int kImageCount = 30;

// Picture `index` (0 to 29); a null icon for any other number (kNoImage)
// or when the program was built without its pictures.
QIcon Image(int index);
// A tree node's icon: `image` as a rule, `selected_image` while the node
// is selected. Icons are made once per pair and then shared.
QIcon NodeIcon(int image, int selected_image);
// The program's own icon (window, task bar, menu entry).
QIcon AppIcon();

}  // namespace quoldex::gui
