#include "app/artwork.h"

namespace taperly {

// Where Qt has no SVG module the same pictures come as PNG files drawn from
// the SVG ones at these very sizes (taperly-artwork-png, which a test holds
// them to).
QPixmap logo_pixmap() {
    return QPixmap(QStringLiteral(":/taperly/taperly-logo.png"));
}

QIcon window_icon() {
    QIcon icon;
    icon.addPixmap(QPixmap(QStringLiteral(":/taperly/taperly-icon-16.png")));
    icon.addPixmap(QPixmap(QStringLiteral(":/taperly/taperly-icon-32.png")));
    return icon;
}

}  // namespace taperly
