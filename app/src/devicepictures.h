#pragma once

#include "patcher/patcher.h"

#include <QImage>
#include <QPixmap>

namespace tollvik {

// The pictures of the recognised device, drawn in code: a stand-alone car navigation device
// (130 x 100), a handheld computer in its cradle (71 x 121) and a mobile phone (71 x 121), on a
// transparent background.
[[nodiscard]] QImage drawDeviceImage(DevicePicture picture);

// The same as a pixmap for a label; needs the GUI application to exist.
[[nodiscard]] QPixmap drawDevicePicture(DevicePicture picture);

} // namespace tollvik
