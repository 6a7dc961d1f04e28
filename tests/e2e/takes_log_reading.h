#pragma once

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

namespace taperly::e2e {

// takes.csv in `folder` as Python's csv module reads it (a byte-order mark
// passed by): after a header of eleven fields or more, one line per row, its
// first eleven fields joined by "|" with the length and the peak told as
// "sound" and "level" when they read as numbers of a take ("no level" for an
// empty peak), or "part of a row" for a row of fewer fields. Where the row's file is a WAV file,
// its length must be the file's to the millisecond to be told as "sound". Empty when Python could
// not read it (or there is none).
inline std::vector<std::string> takes_log_rows(const std::string& folder) {
    const std::string script =
        "import csv,os,sys,wave\n"
        "def length(r):\n"
        "    told=float(r[2])\n"
        "    try:\n"
        "        w=wave.open(os.path.join(os.path.dirname(sys.argv[1]),r[3]))\n"
        "        held=w.getnframes()/w.getframerate()\n"
        "    except Exception:\n"
        "        return \"sound\" if told>0.2 else r[2]\n"
        "    return \"sound\" if abs(told-held)<0.002 else r[2]+\" for a file of %.3f\"%held\n"
        "rows=list(csv.reader(open(sys.argv[1],newline=\"\",encoding=\"utf-8-sig\")))\n"
        "assert rows[0][0]==\"start\" and len(rows[0])>=11\n"
        "for r in rows[1:]:\n"
        "    if len(r)<11:\n"
        "        print(\"part of a row\"); continue\n"
        "    peak=\"no level\" if r[10]==\"\" else (\"level\" if -90<float(r[10])<=0 else r[10])\n"
        "    print(\"|\".join(r[0:2]+r[3:10]+[length(r),peak]))\n";
    const std::string command =
        "python3 -c '" + script + "' '" + folder + "/takes.csv' 2>/dev/null";
    std::vector<std::string> rows;
    FILE* python = ::popen(command.c_str(), "r");
    if (python == nullptr) {
        return rows;
    }
    std::string text;
    char buffer[4096];
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, python)) > 0;) {
        text.append(buffer, got);
    }
    if (::pclose(python) != 0) {
        return {};
    }
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        rows.push_back(line);
    }
    return rows;
}

}  // namespace taperly::e2e
