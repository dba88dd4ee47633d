// The entry of every test binary: GoogleTest's own, and an account of the skipped cases. A case may
// skip only where its binary's CTest entry expects it (--qv-expected-skips=<patterns>, separated by
// ':', '*' and '?' as in --gtest_filter); any other skip fails the binary, so a case that silently
// stops running cannot pass for a green one. Every skipped case is named at the end, with its
// reason and whether it was expected.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

bool matches(const char* pattern, const char* text) {
    if (*pattern == '\0') return *text == '\0';
    if (*pattern == '*') return matches(pattern + 1, text) || (*text != '\0' && matches(pattern, text + 1));
    return *text != '\0' && (*pattern == '?' || *pattern == *text) && matches(pattern + 1, text + 1);
}

bool expected(const std::string& patterns, const std::string& name) {
    size_t start = 0;
    while (start <= patterns.size()) {
        size_t end = patterns.find(':', start);
        if (end == std::string::npos) end = patterns.size();
        if (end > start && matches(patterns.substr(start, end - start).c_str(), name.c_str())) return true;
        start = end + 1;
    }
    return false;
}

struct Skip {
    std::string name;
    std::string reason;
};

class SkipWatch : public testing::EmptyTestEventListener {
   public:
    std::vector<Skip> skips;

    void OnTestEnd(const testing::TestInfo& info) override {
        const testing::TestResult& result = *info.result();
        if (!result.Skipped()) return;
        std::string reason;
        for (int i = 0; i < result.total_part_count() && reason.empty(); ++i)
            if (result.GetTestPartResult(i).skipped()) reason = result.GetTestPartResult(i).message();
        skips.push_back({std::string(info.test_suite_name()) + "." + info.name(), reason});
    }
};

}  // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    const char kOption[] = "--qv-expected-skips=";
    std::string patterns;
    for (int i = 1; i < argc; ++i)
        if (std::strncmp(argv[i], kOption, sizeof kOption - 1) == 0) patterns = argv[i] + sizeof kOption - 1;

    auto* watch = new SkipWatch;  // the listener list owns it
    testing::UnitTest::GetInstance()->listeners().Append(watch);
    int result = RUN_ALL_TESTS();

    int unexpected = 0;
    for (const Skip& skip : watch->skips) {
        bool known = expected(patterns, skip.name);
        unexpected += known ? 0 : 1;
        std::printf("[ SKIPPED  ] %s (%s): %s\n", skip.name.c_str(), known ? "expected" : "NOT EXPECTED",
                    skip.reason.c_str());
    }
    std::printf("[ SKIPPED  ] %zu case(s), %d not expected\n", watch->skips.size(), unexpected);
    std::fflush(stdout);
    return unexpected ? 1 : result;
}
