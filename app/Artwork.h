#pragma once

#include <QIcon>
#include <QPixmap>
#include <QStringList>

#include "app/Controls.h"

namespace droskal {

// The 32 keys of the navigation pictures, in image-list order.
QStringList NavigationKeys();

ImageList MakeImglPic();   // 32 pictures of 16 x 16, by key
ImageList MakeImglFlag();  // three flags of cmdCut, by index 1 to 3

QPixmap FileButtonPicture();     // 46 x 16: diskette, arrow, film strip
QPixmap BmpButtonPicture();      // 38 x 16: camera, arrow, diskette
QPixmap SaveCutButtonPicture();  // 48 x 16: marked film strip, arrow, diskette
QIcon WindowIcon();              // the program's icon, 16 to 256

}  // namespace droskal
