// kvw-minima --help and the manual page kvw-minima(1) list the same options,
// and the page names no option the program lacks.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
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

// The options a roff text names ("\-\-name", "\-n"), hyphens unescaped.
std::set<std::string> roffOptions(const std::string& text) {
    static const std::regex option(R"((\\-){1,2}[a-z][a-z0-9\\-]*)");
    std::set<std::string> options;
    for (auto it = std::sregex_iterator(text.begin(), text.end(), option); it != std::sregex_iterator(); ++it) {
        options.insert(std::regex_replace(it->str(), std::regex(R"(\\-)"), "-"));
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
