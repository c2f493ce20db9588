// kvw-minima --help and the manual page kvw-minima(1) list the same options,
// and the page names no option the program lacks.
#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "support/whole_run.h"

namespace kvw::testing {
namespace {

// "--name" and "-n" at the start of the option lines of --help: the first
// word of each, split at commas ("-o,--output").
std::set<std::string> helpOptions(const std::string& help) {
    std::set<std::string> options;
    std::istringstream lines(help);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("  -", 0) != 0) {
            continue;
        }
        std::istringstream first(line.substr(2, line.find(' ', 2) - 2));
        for (std::string name; std::getline(first, name, ',');) {
            options.insert(name);
        }
    }
    return options;
}

// The options a roff text names, hyphens unescaped: "\-\-name" or "\-n" at
// the start of a word ("kvw\-minima" and "\-2.5" are none).
std::set<std::string> roffOptions(const std::string& text) {
    const std::string hyphen = "\\-";
    auto lower = [&](std::size_t i) { return i < text.size() && std::islower(static_cast<unsigned char>(text[i])); };
    auto digit = [&](std::size_t i) { return i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); };
    std::set<std::string> options;
    for (std::size_t at = text.find(hyphen); at != std::string::npos; at = text.find(hyphen, at + 2)) {
        if (at > 0 && std::isalnum(static_cast<unsigned char>(text[at - 1]))) {
            continue;
        }
        std::size_t i = at + 2;
        std::string name = "-";
        if (text.compare(i, 2, hyphen) == 0) {
            name += '-';
            i += 2;
        }
        if (!lower(i)) {
            continue;
        }
        for (;;) {
            if (lower(i) || digit(i)) {
                name += text[i++];
            } else if (text.compare(i, 2, hyphen) == 0 && lower(i + 2)) {
                name += '-';
                i += 2;
            } else {
                break;
            }
        }
        options.insert(name);
        at = i - 2;
    }
    return options;
}

struct Manual {
    std::set<std::string> described;  // the tags of the OPTIONS section
    std::set<std::string> named;      // long options anywhere on the page
};

Manual readManual(const std::string& path) {
    std::ifstream in(path);
    Manual manual;
    bool inOptions = false;
    bool tag = false;
    for (std::string line; std::getline(in, line);) {
        if (line.rfind(".SH", 0) == 0) {
            inOptions = line == ".SH OPTIONS";
        } else if (inOptions && tag) {
            manual.described.merge(roffOptions(line));
        }
        tag = line == ".TP";
        for (const std::string& name : roffOptions(line)) {
            if (name.rfind("--", 0) == 0) {
                manual.named.insert(name);
            }
        }
    }
    return manual;
}

TEST(MinimaManual, ListsTheOptionsOfHelp) {
    TempDir dir;
    const RunResult help = runBinary(KVW_MINIMA_BINARY, {"--help"}, dir.path(), RunOptions{});
    ASSERT_EQ(help.status, 0);
    const std::set<std::string> options = helpOptions(help.output);
    ASSERT_GT(options.size(), 15u) << help.output;
    const Manual manual = readManual(KVW_MANUAL_DIR "/kvw-minima.1");
    EXPECT_EQ(manual.described, options);
    for (const std::string& name : manual.named) {
        EXPECT_EQ(options.count(name), 1u) << name << " is on the manual page but not in --help";
    }

}

TEST(MinimaManual, PagesCarryTheProgramsVersion) {
    TempDir dir;
    const RunResult version = runBinary(KVW_MINIMA_BINARY, {"--version"}, dir.path(), RunOptions{});
    ASSERT_EQ(version.status, 0);
    std::string number = version.output.substr(version.output.rfind(' ') + 1);
    number.erase(number.find_last_not_of('\n') + 1);
    for (const char* page : {KVW_MANUAL_DIR "/kvw-minima.1", KVW_MANUAL_DIR "/kvw.1"}) {
        std::ifstream in(page);
        std::string heading;
        std::getline(in, heading);
        EXPECT_NE(heading.find("\"kvw " + number + "\""), std::string::npos) << page << ": " << heading;
    }
}

}  // namespace
}  // namespace kvw::testing
