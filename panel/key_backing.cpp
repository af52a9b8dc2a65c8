#include "panel/key_backing.h"

#include <QImage>
#include <QPainter>
#include <QPushButton>

#include <optional>

namespace varlo {

namespace {

// The colour a key fills itself with: a role of its palette that a key's own drawing never
// reads (styles draw keys in the button and window colours), so only the fill changes.
constexpr QPalette::ColorRole FillRole = QPalette::AlternateBase;

// The one colour of every pixel of the image, if it has only one.
std::optional<QRgb> soleColour(const QImage& image)
{
    const QRgb first = image.pixel(0, 0);
    for (int y = 0; y < image.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if (line[x] != first)
                return std::nullopt;
        }
    }
    return first;
}

// What shows where the key lies when the key itself is not drawn: the window's background
// with the frame, drawn without its children, over it.
QImage beneath(const QWidget& window, QWidget& frame, const QPushButton& key)
{
    const QRect place(key.mapTo(&window, QPoint(0, 0)), key.size());
    const qreal ratio = window.devicePixelRatioF();
    QImage image(place.size() * ratio, QImage::Format_RGB32);
    image.setDevicePixelRatio(ratio);
    QPainter painter(&image);
    painter.setBrushOrigin(-place.topLeft());
    painter.fillRect(QRect(QPoint(0, 0), place.size()), window.palette().brush(QPalette::Window));
    // Rendering puts the top-left corner of the rendered part at the given point.
    const QPoint frameAt = frame.mapTo(&window, QPoint(0, 0));
    frame.render(&painter, QPoint(0, 0), QRegion(place.translated(-frameAt)),
                 QWidget::RenderFlags());
    return image;
}

// The picture beneath the keys is taken in one state of the window; it holds in the other
// only if neither the window nor the frame changes colour with the focus.
bool sameWhenInactive(const QWidget& control)
{
    const QPalette& palette = control.palette();
    for (int role = 0; role < QPalette::NColorRoles; ++role) {
        const auto colourRole = static_cast<QPalette::ColorRole>(role);
        if (palette.brush(QPalette::Active, colourRole) !=
            palette.brush(QPalette::Inactive, colourRole))
            return false;
    }
    return true;
}

} // namespace

void backKeys(const QWidget& window, QWidget& frame, std::span<QPushButton* const> keys)
{
    const bool steady = sameWhenInactive(window) && sameWhenInactive(frame);
    for (QPushButton* key : keys) {
        const std::optional<QRgb> colour =
            steady ? soleColour(beneath(window, frame, *key)) : std::nullopt;
        key->setAutoFillBackground(colour.has_value());
        if (!colour)
            continue;
        key->setBackgroundRole(FillRole);
        QPalette palette = key->palette();
        palette.setColor(FillRole, QColor::fromRgb(*colour));
        key->setPalette(palette);
    }
}

} // namespace varlo
