#include "app/artwork.h"

#include <QPainter>

namespace taperly {

QPixmap backdrop_pixmap() {
    QPixmap pixmap(kBackdropWidth, kBackdropHeight);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(128, 128, 128), 1.5));
    painter.setBrush(QColor(255, 192, 128));
    painter.drawRoundedRect(QRectF(1, 1, kBackdropWidth - 2, kBackdropHeight - 2), 10, 10);
    return pixmap;
}

}  // namespace taperly
