#pragma once

// A pressed or released key is repainted at once, before its click runs. Qt repaints a key
// that it must treat as see-through together with everything beneath it: the window's
// background and Frame1, whose frame is the dearest part of the panel to draw. A key that
// fills its background with an opaque colour is opaque to Qt and is repainted alone; filled
// with the colour that lies beneath it, it looks the same.

#include <span>

class QPushButton;
class QWidget;

namespace varlo {

// Fills each key that lies on one flat colour of the window's background and `frame` with
// that colour; a key over anything else, or on a background that changes when the window
// loses the focus, stays see-through. Run again whenever the palette or the style changes,
// since the colour beneath changes with them.
void backKeys(const QWidget& window, QWidget& frame, std::span<QPushButton* const> keys);

} // namespace varlo
