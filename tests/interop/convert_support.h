// What the conversion tests share: one call of VI_convert with its output,
// the messages of its losses and its counts.
#pragma once

#include <dirent.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "versit_convert.h"

namespace converttest {

struct Result {
    int32_t rc = 0;
    std::string text;
    std::vector<std::string> lost;
    std::vector<std::string> reports; // every one, as "line: message"
    VI_ConvertCounts counts{};
};

inline Result convert(const std::string &in, int32_t from, int32_t to) {
    Result r;
    r.rc = VI_convert(
        in.data(), in.size(), from, to,
        [](void *user, const char *bytes, size_t n) {
            static_cast<std::string *>(user)->append(bytes, n);
            return 0;
        },
        &r.text,
        [](void *user, const VI_Report *report) {
            auto &r = *static_cast<Result *>(user);
            if (report->kind == VI_REPORT_LOST) r.lost.push_back(report->message);
            r.reports.push_back(std::to_string(report->line) + ": " + report->message);
        },
        &r, &r.counts);
    return r;
}

// The unfolded lines of a text.
inline std::vector<std::string> linesOf(const std::string &text) {
    std::string unfolded;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text.compare(i, 3, "\r\n ") == 0)
            i += 2;
        else
            unfolded += text[i];
    }
    std::vector<std::string> lines;
    std::istringstream in(unfolded);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

// The first unfolded line of a text that starts with `prefix`, or "".
inline std::string lineOf(const std::string &text, const std::string &prefix) {
    for (const std::string &line : linesOf(text))
        if (line.compare(0, prefix.size(), prefix) == 0) return line;
    return "";
}

// The files of a folder of the real-world corpus beside the checkout
// ("vcard21", "vcal10"), sorted; none when the corpus is not there.
inline std::vector<std::string> corpusFiles(const std::string &folder) {
    const std::string path = std::string(VERSIT_CORPUS_DIR) + "/" + folder;
    std::vector<std::string> files;
    DIR *dir = opendir(path.c_str());
    if (dir == nullptr) return files;
    while (dirent *d = readdir(dir))
        if (d->d_name[0] != '.') files.push_back(path + "/" + d->d_name);
    closedir(dir);
    std::sort(files.begin(), files.end());
    return files;
}

inline std::string fileText(const std::string &path) {
    std::ifstream f(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

} // namespace converttest
