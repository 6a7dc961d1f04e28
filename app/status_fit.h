#pragma once

#include <QFontMetrics>
#include <QString>

namespace taperly {

// `whole` as the status line can show it in `width` pixels: whole, else
// without its asides in brackets, else cut after its last word that fits,
// with an ellipsis, never inside a word. The whole text is for the line's
// tooltip.
QString fit_status_text(const QString& whole, const QFontMetrics& metrics, int width);

}  // namespace taperly
