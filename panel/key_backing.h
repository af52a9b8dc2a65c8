#pragma once

// A pressed or released key is repainted at once, before its click runs. Qt repaints a key
// that it must treat as see-through together with everything beneath it: the window's
// background and Frame1, whose frame is the dearest part of the panel to draw. A key that
// first fills itself with the colour lying beneath it looks the same and is repainted alone.

#include <QColor>
#include <QHash>
#include <QObject>

#include <span>

class QPushButton;
class QWidget;

namespace varlo {

class KeyBacking final : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    // Backs each key that lies on one flat colour of the window's background and `frame`
    // with that colour and marks it opaque; a key over anything else, or on a background that
    // changes when the window loses the focus, stays see-through. Run again whenever the
    // palette or the style changes, since the colour beneath changes with them.
    void back(const QWidget& window, QWidget& frame, std::span<QPushButton* const> keys);

protected:
    // Fills a backed key before the key paints itself over it.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QHash<const QObject*, QColor> fills_;
};

} // namespace varlo
