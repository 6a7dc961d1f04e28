#include "app/system_clock.h"

namespace taperly {

namespace {

bool is_blank(QChar c) {
    return c.isSpace();
}

void drop_trailing_blanks(QString& text) {
    while (!text.isEmpty() && is_blank(text.back())) {
        text.chop(1);
    }
}

}  // namespace

QString time_format_without_zone(const QString& format) {
    QString kept;
    qsizetype i = 0;
    while (i < format.size()) {
        const QChar c = format[i];
        if (c == u'\'') {
            // A quoted literal runs to the next lone quote; '' is a quote.
            const qsizetype start = i++;
            while (i < format.size()) {
                if (format[i] == u'\'') {
                    if (i + 1 < format.size() && format[i + 1] == u'\'') {
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                ++i;
            }
            kept += format.mid(start, i - start);
        } else if (c == u't') {
            while (i < format.size() && format[i] == u't') {
                ++i;
            }
            const bool at_start = kept.trimmed().isEmpty();
            drop_trailing_blanks(kept);
            if (at_start) {
                // Nothing before the zone: the blanks after it would lead.
                while (i < format.size() && is_blank(format[i])) {
                    ++i;
                }
            }
        } else {
            kept += c;
            ++i;
        }
    }
    return kept.trimmed();
}

SystemClock::SystemClock(QLocale locale, TimeSource now)
    : locale_(std::move(locale)),
      now_(now ? now : TimeSource(&QDateTime::currentDateTime)),
      format_(time_format_without_zone(locale_.timeFormat(QLocale::LongFormat))),
      desktop_clock_(!now) {
    // Qt makes what formatting a time needs (its calendars) on first use and
    // unmakes it when the program exits, before whatever was set to run at
    // exit ahead of that first use: made now, it is still there for the end
    // that saves the take in progress when the display goes (AbruptEndGuard),
    // which would otherwise name the take without its end time.
    locale_.toString(QTime(0, 0), format_);
}

LocalTime SystemClock::local_time() {
    if (desktop_clock_) {
        const qint64 second = QDateTime::currentSecsSinceEpoch();
        if (second == read_in_second_) {
            return reading_;
        }
        read_in_second_ = second;
        reading_ = read_local_time();
        return reading_;
    }
    return read_local_time();
}

LocalTime SystemClock::read_local_time() {
    const QDateTime now = now_();
    QString text = locale_.toString(now.time(), format_);
    for (QChar& c : text) {
        if (c.category() == QChar::Separator_Space) {
            c = u' ';
        }
    }
    const QDate date = now.date();
    const QTime time = now.time();
    return {text.trimmed().toStdString(),
            {date.year(), date.month(), date.day()},
            {time.hour(), time.minute(), time.second(), now.offsetFromUtc()}};
}

SteadyTime SystemClock::steady_time() {
    return std::chrono::duration_cast<SteadyTime>(
        std::chrono::steady_clock::now().time_since_epoch());
}

}  // namespace taperly
