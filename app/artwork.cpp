#include "app/artwork.h"

#include <QPainter>
#include <QSvgRenderer>

namespace taperly {

namespace {

QPixmap render_svg(const QString& resource, int width, int height) {
    QPixmap pixmap(width, height);
    pixmap.fill(Qt::transparent);
    QSvgRenderer renderer(resource);
    QPainter painter(&pixmap);
    renderer.render(&painter);
    return pixmap;
}

}  // namespace

QPixmap logo_pixmap() {
    return render_svg(QStringLiteral(":/taperly/taperly-logo.svg"), kLogoWidth, kLogoHeight);
}

QIcon window_icon() {
    QIcon icon;
    for (const int size : {16, 32}) {
        icon.addPixmap(render_svg(QStringLiteral(":/taperly/taperly-icon.svg"), size, size));
    }
    return icon;
}

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
