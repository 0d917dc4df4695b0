// The run summary on its own: how the collector's hooks become counts, the
// summary line, whether a run was good, and the last good run's time carried
// over from an earlier metrics file.
#include <gtest/gtest.h>

#include <cctype>
#include <functional>

#include "Server/Ferrowin/RunSummary.h"
#include "tests/Support/ParamName.h"

namespace {

struct HookCase {
    const char* name;
    std::function<void(CRunSummary&)> run;
    std::int64_t loaded, failed, left, inFlight, rows;
    bool good;
    const char* line;  // what follows "ferrowin: " up to the seconds
};

// One file's hooks, as the run loop and the import call them.
void File(CRunSummary& s, const std::function<void(CRunSummary&)>& hooks) {
    s.BeginFile();
    hooks(s);
    s.EndFile();
}

const HookCase kHookCases[] = {
    {"NothingListed", [](CRunSummary& s) { s.SetConnected(); }, 0, 0, 0, 0, 0, true,
     "0 files loaded, 0 sent to the error folder, 0 left for a later run, 0 skipped as still "
     "being written; 0 rows loaded; "},
    {"EachOutcome",
     [](CRunSummary& s) {
         s.SetConnected();
         File(s, [](CRunSummary& f) { f.FileLoaded("VY_FileOptLog", 40); });
         File(s, [](CRunSummary& f) { f.FileLoaded("VY_FileOptLog", 2); });
         File(s, [](CRunSummary& f) { f.FileLoaded("VY_UrlLog", 5); });
         File(s, [](CRunSummary& f) { f.FileFailed(); });
         File(s, [](CRunSummary&) {});  // no kind, or an asset kind that waits
         File(s, [](CRunSummary& f) { f.FileInFlight(); });
     },
     3, 1, 1, 1, 47, false,
     "3 files loaded, 1 sent to the error folder, 1 left for a later run, 1 skipped as still "
     "being written; 47 rows loaded; "},
    // A loaded file whose backup move failed stays loaded; a file judged
    // failed after its rows were counted is not loaded.
    {"TheLastDecisionCounts",
     [](CRunSummary& s) {
         s.SetConnected();
         File(s, [](CRunSummary& f) {
             f.FileLoaded("VY_UrlLog", 9);
             f.FileFailed();
         });
     },
     0, 1, 0, 0, 0, false,
     "0 files loaded, 1 sent to the error folder, 0 left for a later run, 0 skipped as still "
     "being written; 0 rows loaded; "},
    {"ALostConnectionLeavesTheFile",
     [](CRunSummary& s) {
         s.SetConnected();
         File(s, [](CRunSummary& f) { f.SetConnectionLost(); });
     },
     0, 0, 1, 0, 0, false,
     "0 files loaded, 0 sent to the error folder, 1 left for a later run, 0 skipped as still "
     "being written; 0 rows loaded; "},
    {"NoConnection", [](CRunSummary&) {}, 0, 0, 0, 0, 0, false,
     "0 files loaded, 0 sent to the error folder, 0 left for a later run, 0 skipped as still "
     "being written; 0 rows loaded; "},
    // Hooks outside a listed file (a direct call of the import) count nothing.
    {"HooksOutsideAFile",
     [](CRunSummary& s) {
         s.SetConnected();
         s.FileLoaded("VY_FileOptLog", 3);
         s.EndFile();
     },
     0, 0, 0, 0, 0, true,
     "0 files loaded, 0 sent to the error folder, 0 left for a later run, 0 skipped as still "
     "being written; 0 rows loaded; "},
};

class RunSummaryHooks : public ::testing::TestWithParam<HookCase> {};

TEST_P(RunSummaryHooks, CountsAndLine) {
    const HookCase& c = GetParam();
    CRunSummary summary;
    summary.Start();
    c.run(summary);
    summary.Finish();

    EXPECT_EQ(c.loaded, summary.Files(FileOutcome::Loaded));
    EXPECT_EQ(c.failed, summary.Files(FileOutcome::Failed));
    EXPECT_EQ(c.left, summary.Files(FileOutcome::Left));
    EXPECT_EQ(c.inFlight, summary.Files(FileOutcome::InFlight));
    EXPECT_EQ(c.rows, summary.Rows());
    EXPECT_EQ(c.good, summary.Good());

    std::string line = summary.Line();
    EXPECT_EQ(std::string::npos, line.find('\n'));
    std::string expected = std::string("ferrowin: ") + c.line;
    ASSERT_EQ(0u, line.find(expected)) << line;
    std::string rest = line.substr(expected.size());
    ASSERT_FALSE(rest.empty());
    EXPECT_TRUE(std::isdigit(static_cast<unsigned char>(rest[0]))) << rest;
    EXPECT_NE(std::string::npos, rest.find(" seconds")) << rest;
    EXPECT_EQ(!summary.Good() && c.failed == 0, rest.find("(see the events)") != std::string::npos)
        << rest;
}

INSTANTIATE_TEST_SUITE_P(Cases, RunSummaryHooks, ::testing::ValuesIn(kHookCases), CaseName{});

TEST(RunSummary, MetricsRowsByTableAndTheLastGoodRun) {
    CRunSummary good;
    good.Start();
    good.SetConnected();
    good.BeginFile();
    good.FileLoaded("VY_UrlLog", 5);
    good.EndFile();
    good.Finish();
    std::string metrics = good.Metrics(1000.0, {"VY_FileOptLog", "VY_UrlLog"});
    EXPECT_NE(std::string::npos, metrics.find("\nferrowin_last_run_rows{table=\"VY_UrlLog\"} 5\n"));
    EXPECT_NE(std::string::npos,
              metrics.find("\nferrowin_last_run_rows{table=\"VY_FileOptLog\"} 0\n"));
    // A good run is its own last good run.
    std::optional<double> last = ReadLastGoodTime(metrics);
    ASSERT_TRUE(last);
    EXPECT_DOUBLE_EQ(
        *last,
        std::stod(metrics.substr(metrics.find("\nferrowin_last_run_timestamp_seconds ") +
                                 std::string("\nferrowin_last_run_timestamp_seconds ").size())));

    // A run that failed keeps the earlier time, or says 0 when none is known.
    CRunSummary failed;
    failed.Start();
    failed.Finish();
    EXPECT_EQ(1234.5, ReadLastGoodTime(failed.Metrics(1234.5, {})));
    EXPECT_EQ(std::nullopt, ReadLastGoodTime(failed.Metrics(std::nullopt, {})));
    EXPECT_NE(std::string::npos,
              failed.Metrics(std::nullopt, {}).find("\nferrowin_last_success_timestamp_seconds 0"));
}

TEST(RunSummary, AnEarlierMetricsFileIsUntrustedText) {
    const std::pair<const char*, std::optional<double>> cases[] = {
        {"", std::nullopt},
        {"ferrowin_last_success_timestamp_seconds 1700000000.5\n", 1700000000.5},
        {"# HELP x\nferrowin_last_success_timestamp_seconds 17\nother 1\n", 17.0},
        {"ferrowin_last_success_timestamp_seconds 17", 17.0},  // no closing line break
        {"ferrowin_last_success_timestamp_seconds 0\n", std::nullopt},
        {"ferrowin_last_success_timestamp_seconds -5\n", std::nullopt},
        {"ferrowin_last_success_timestamp_seconds nan\n", std::nullopt},
        {"ferrowin_last_success_timestamp_seconds inf\n", std::nullopt},
        {"ferrowin_last_success_timestamp_seconds 12abc\n", std::nullopt},
        {"ferrowin_last_success_timestamp_seconds \n", std::nullopt},
        {"ferrowin_last_success_timestamp_seconds{a=\"b\"} 17\n", std::nullopt},
        {"xferrowin_last_success_timestamp_seconds 17\n", std::nullopt},
        {"ferrowin_last_success_timestamp_seconds 1111111111111111111111111111111111111\n",
         std::nullopt},
        {"ferrowin_last_success_timestamp_seconds", std::nullopt},
    };
    for (const auto& [text, expected] : cases) EXPECT_EQ(expected, ReadLastGoodTime(text)) << text;
    std::string binary(100000, '\xFE');
    binary += "\nferrowin_last_success_timestamp_seconds 42\n";
    EXPECT_EQ(42.0, ReadLastGoodTime(binary));
}

}  // namespace
