#include <QPainter>
#include <QSvgRenderer>

#include "app/artwork.h"

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

}  // namespace taperly
