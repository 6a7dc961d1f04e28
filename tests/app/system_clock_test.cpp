#include "app/system_clock.h"

#include <gtest/gtest.h>

#include <QTimeZone>

namespace taperly {
namespace {

struct FormatCase {
    const char* format;
    const char* kept;
};

class ZoneFreeFormatTest : public ::testing::TestWithParam<FormatCase> {};

TEST_P(ZoneFreeFormatTest, DropsZoneAndItsBlanksOnly) {
    EXPECT_EQ(time_format_without_zone(QString::fromUtf8(GetParam().format)).toStdString(),
              GetParam().kept);
}

INSTANTIATE_TEST_SUITE_P(Formats, ZoneFreeFormatTest,
                         ::testing::Values(FormatCase{"h:mm:ss AP t", "h:mm:ss AP"},
                                           FormatCase{"h:mm:ss\u202fAP tttt", "h:mm:ss\u202fAP"},
                                           FormatCase{"HH:mm:ss\u202ft", "HH:mm:ss"},
                                           FormatCase{"tttt HH:mm:ss", "HH:mm:ss"},
                                           FormatCase{"h:mm tt AP", "h:mm AP"},
                                           FormatCase{"HH 'at' mm t", "HH 'at' mm"},
                                           FormatCase{"HH 'o''clock' t", "HH 'o''clock'"},
                                           FormatCase{"HH:mm:ss", "HH:mm:ss"}));

struct LocaleCase {
    const char* locale;
    const char* time_of_day;
};

class SystemClockTest : public ::testing::TestWithParam<LocaleCase> {};

TEST_P(SystemClockTest, LongTimeWithoutZoneAndWithPlainSpaces) {
    const QDateTime moment(QDate(2026, 12, 5), QTime(21, 5, 7), QTimeZone("Europe/Berlin"));
    SystemClock clock(QLocale(QString::fromUtf8(GetParam().locale)), [moment] { return moment; });
    const LocalTime now = clock.local_time();
    EXPECT_EQ(now.time_of_day, GetParam().time_of_day);
    const CalendarDate today = now.date;
    EXPECT_EQ(today.year, 2026);
    EXPECT_EQ(today.month, 12);
    EXPECT_EQ(today.day, 5);
    EXPECT_EQ(now.wall.hour, 21);
    EXPECT_EQ(now.wall.second, 7);
    EXPECT_EQ(now.wall.utc_offset_seconds, 3600) << "Berlin is an hour east of UTC in December";
}

INSTANTIATE_TEST_SUITE_P(
    Locales, SystemClockTest,
    ::testing::Values(LocaleCase{"en_US", "9:05:07 PM"}, LocaleCase{"de_DE", "21:05:07"},
                      LocaleCase{"en_GB", "21:05:07"}, LocaleCase{"fr_FR", "21:05:07"},
                      LocaleCase{"zh_CN", "21:05:07"}, LocaleCase{"es_US", "9:05:07 P. M."}));

}  // namespace
}  // namespace taperly
