#include "uploads/upload_settings.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "uploads/url_parts.h"

namespace taperly {
namespace {

// The settings read, in a line each: a target's id and what it holds, a
// mapping, or a problem with its line.
std::string summary(const UploadSettings& settings) {
    std::string text;
    for (const TargetSettings& t : settings.targets) {
        text += t.id() + ": " + t.url + " " + t.key + " " + t.system + (t.mp3 ? " mp3" : "") +
                " age " + std::to_string(t.max_age.count() / 1000) + "s limit " +
                std::to_string(t.time_limit.count()) + "ms waits " +
                std::to_string(t.first_wait.count()) + "-" + std::to_string(t.longest_wait.count());
        for (const auto& [slot, id] : t.slot_ids) {
            text += " slot " + slot + "=" + id;
        }
        if (!t.program.empty()) {
            text += " run " + t.program;
            for (const std::string& argument : t.arguments) {
                text += " [" + argument + "]";
            }
        }
        text += "\n";
    }
    for (const auto& [name, number] : settings.talkgroups) {
        text += "talkgroup " + name + "=" + number + "\n";
    }
    for (const SettingsProblem& problem : settings.problems) {
        text += "line " + std::to_string(problem.line) + ": " + problem.text + "\n";
    }
    return text + (settings.holds_key ? "holds a key" : "");
}

struct SettingsCase {
    const char* name;
    std::string text;
    std::string read;
};

void PrintTo(const SettingsCase& c, std::ostream* out) {
    *out << c.name;
}

class UploadSettingsTest : public ::testing::TestWithParam<SettingsCase> {};

TEST_P(UploadSettingsTest, ReadsEachSectionOrTellsWhatIsWrongWithItsLine) {
    EXPECT_EQ(summary(read_upload_settings(GetParam().text)), GetParam().read);
}

const std::string kRdio = "[rdio-scanner]\nurl = https://rdio.example\nkey = k1\nsystem = 011\n";

INSTANTIATE_TEST_SUITE_P(
    Files, UploadSettingsTest,
    ::testing::Values(
        SettingsCase{
            "every_kind",
            "\xEF\xBB\xBF# comments, blank lines and CRLF\r\n\r\n" + kRdio +
                "audio = mp3\r\n[openmhz]\nurl=https://api.example/\nkey=k2\n"
                "short_name = metro\n; another\n[broadcastify-calls]\nurl = "
                "https://calls.example\nkey = \" k3 \"\nsystem_id = 77\n"
                "slot County Fire = 0555\nmax_age = 45s\n[command]\nprogram = /bin/up\n"
                "arguments = -v \"two words\" x\ntime_limit = 1.5m\nfirst_wait = 0.2s\n"
                "longest_wait = 1h\n[talkgroups]\nFire Ops = 3001\n",
            "rdio-scanner: https://rdio.example k1 11 mp3 age 604800s limit 30000ms waits "
            "5000-600000\nopenmhz: https://api.example/ k2 metro age 604800s limit 30000ms "
            "waits 5000-600000\nbroadcastify-calls: https://calls.example  k3  77 age 45s "
            "limit 30000ms waits 5000-600000 slot County Fire=555\ncommand:    age 604800s "
            "limit 90000ms waits 200-3600000 run /bin/up [-v] [two words] [x]\n"
            "talkgroup Fire Ops=3001\nholds a key"},
        SettingsCase{
            "several_of_a_kind_need_names",
            kRdio + kRdio + "[rdio-scanner home]\n" + kRdio.substr(15),
            "rdio-scanner: https://rdio.example k1 11 age 604800s limit 30000ms waits "
            "5000-600000\nrdio-scanner home: https://rdio.example k1 11 age 604800s limit "
            "30000ms waits 5000-600000\nline 5: a second [rdio-scanner]: give each its own "
            "name, as in [rdio-scanner second]\nholds a key"},
        SettingsCase{
            "a_wrong_section_leaves_the_rest",
            "[rdio]\nurl = x\n[command]\nprogram = up\nprogam = x\n" + kRdio,
            "rdio-scanner: https://rdio.example k1 11 age 604800s limit 30000ms waits "
            "5000-600000\nline 1: unknown section [rdio]; known: talkgroups, rdio-scanner, "
            "openmhz, broadcastify-calls, command\nline 5: [command] has no key "
            "\"progam\"; its keys: max_age, first_wait, longest_wait, program, arguments, "
            "time_limit\nholds a key"},
        SettingsCase{"what_is_missing", "[openmhz]\nurl = https://a.example\n",
                     "line 1: [openmhz] lacks key, short_name\n"},
        SettingsCase{"plain_http_only_to_this_computer",
                     "[rdio-scanner]\nurl = http://rdio.example\n[openmhz x]\nurl = "
                     "http://127.0.0.1:8080\nkey = k\nshort_name = m\n[openmhz y]\nurl = "
                     "http://localhost\nkey = k\nshort_name = m\n[openmhz z]\nurl = "
                     "https://user:pw@a.example\n",
                     "openmhz x: http://127.0.0.1:8080 k m age 604800s limit 30000ms waits "
                     "5000-600000\nopenmhz y: http://localhost k m age 604800s limit 30000ms waits "
                     "5000-600000\nline 2: url must begin with https:// (http:// only to this "
                     "computer: a key sent plainly can be read on the way)\nline 12: url must be "
                     "an http:// or https:// address without a user name or password\nholds a key"},
        SettingsCase{
            "values_that_are_wrong",
            "[broadcastify-calls]\nsystem_id = 7a\nslot = 5\nmax_age = 5 minutes\n"
            "[command]\narguments = \"open\n[talkgroups]\nOps = zero\n= 5\n",
            "line 2: system_id must be a whole number above 0\nline 3: [broadcastify-calls] "
            "has no key \"slot\"; its keys: max_age, first_wait, longest_wait, url, key, "
            "system_id, timeout, slot <text>\nline 4: \"5 minutes\" is no length of time "
            "(write it as 30s, 10m, 12h or 7d)\nline 6: arguments has a double quote that "
            "is not closed\nline 8: the number of \"Ops\" must be a whole number above 0\n"
            "line 9: a number is given to a text: <text> = <number>\n"},
        SettingsCase{"lines_of_no_kind", "key = x\n[command]\nprogram up\n",
                     "line 1: \"key\" comes before any [section]\nline 3: a line is a [section], a "
                     "key = value, or a comment beginning with #\n"}),
    [](const auto& info) { return std::string(info.param.name); });

// The README's example as it stands, and with each of its commented keys
// and sections taken in, as a user would: read without a problem.
TEST(UploadSettings, TheReadmesExampleReadsAsItIsAndWithItsCommentedLinesTakenIn) {
    std::ifstream readme(TAPERLY_README, std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(readme),
                           std::istreambuf_iterator<char>()};
    const std::size_t begin = text.find("```ini\n# uploads.ini");
    ASSERT_NE(begin, std::string::npos);
    const std::size_t first = text.find('\n', begin) + 1;
    const std::string example = text.substr(first, text.find("```", first) - first);
    std::string taken_in;
    std::istringstream lines(example);
    for (std::string line; std::getline(lines, line);) {
        const std::string rest = line.substr(std::min<std::size_t>(2, line.size()));
        const bool key =
            rest.find(" = ") != std::string::npos && rest.find(' ') == rest.find(" = ");
        const bool section = rest.starts_with("[") && rest.ends_with("]");
        taken_in += (line.starts_with("# ") && (key || section) ? rest : line) + "\n";
    }
    const UploadSettings as_it_is = read_upload_settings(example);
    EXPECT_EQ(as_it_is.targets.size(), 4u);
    EXPECT_EQ(summary(as_it_is).find("line "), std::string::npos) << summary(as_it_is);
    const UploadSettings all = read_upload_settings(taken_in);
    EXPECT_EQ(all.targets.size(), 5u);
    EXPECT_EQ(summary(all).find("line "), std::string::npos) << summary(all);
}

TEST(UrlParts, TakeHostPortAndTargetApart) {
    const struct {
        std::string url;
        std::string parts;
    } cases[] = {
        {"https://a.example", "tls a.example 443 /"},
        {"http://127.0.0.1:8080/x?y=1#z", "plain 127.0.0.1 8080 /x?y=1"},
        {"https://[::1]:99", "tls ::1 99 /"},
        {"https://a.example:0", "none"},
        {"https://a.example:", "none"},
        {"ftp://a.example", "none"},
        {"https://a b.example", "none"},
        {"https://u@a.example", "none"},
    };
    for (const auto& c : cases) {
        const std::optional<UrlParts> parts = parse_url(c.url);
        EXPECT_EQ(parts ? std::string(parts->tls ? "tls " : "plain ") + parts->host + " " +
                              std::to_string(parts->port) + " " + parts->target
                        : "none",
                  c.parts)
            << c.url;
    }
    EXPECT_TRUE(is_loopback_host("127.8.9.10"));
    EXPECT_FALSE(is_loopback_host("127.0.0.1.example"));
    EXPECT_FALSE(is_loopback_host("128.0.0.1"));
}

}  // namespace
}  // namespace taperly
