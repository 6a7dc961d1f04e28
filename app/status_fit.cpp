#include "app/status_fit.h"

#include <QRegularExpression>

namespace taperly {

namespace {

// Device paths and other asides in brackets matter least on screen: the
// tooltip keeps them.
QString without_asides(const QString& text) {
    QString shorter = text;
    static const QRegularExpression aside(QStringLiteral(" \\([^()]*\\)"));
    shorter.remove(aside);
    return shorter;
}

}  // namespace

QString fit_status_text(const QString& whole, const QFontMetrics& metrics, int width) {
    if (metrics.horizontalAdvance(whole) <= width) {
        return whole;
    }
    const QString text = without_asides(whole);
    if (metrics.horizontalAdvance(text) <= width) {
        return text;
    }
    const QString ellipsis = QStringLiteral("\u2026");
    QString fitted;
    qsizetype end = 0;
    while ((end = text.indexOf(' ', end + 1)) > 0) {
        QString candidate = text.left(end);
        // A word ends before its punctuation's blank, not after a lone dash.
        while (!candidate.isEmpty() && QString(",;:-").contains(candidate.back())) {
            candidate.chop(1);
        }
        if (metrics.horizontalAdvance(candidate + ellipsis) > width) {
            break;
        }
        fitted = candidate;
    }
    return fitted.isEmpty() ? ellipsis : fitted + ellipsis;
}

}  // namespace taperly
