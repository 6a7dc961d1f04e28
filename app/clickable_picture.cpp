#include "app/clickable_picture.h"

#include <QMouseEvent>

namespace taperly {

ClickablePicture::ClickablePicture(QWidget* parent) : QLabel(parent) {
    setFocusPolicy(Qt::ClickFocus);
    setCursor(Qt::PointingHandCursor);
}

void ClickablePicture::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
        emit clicked();
    }
    QLabel::mouseReleaseEvent(event);
}

}  // namespace taperly
