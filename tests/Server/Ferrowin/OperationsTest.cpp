// What an operator sees of a run, with the real program: the summary line on
// standard output, the metrics file read back by the Prometheus project's own
// text parser, and --help and --version.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <thread>

#include "Platform/Fake/FakePlatform.h"
#include "Server/Ferrowin/EventReport.h"
#include "tests/Server/Ferrowin/ProgramFixture.h"

namespace {

constexpr LogKind kFileLog = 0, kUrlLog = 2, kVirusLog = 6, kLogon = 16;

struct Output {
    int code = -1;
    std::string out, errors;
};

double Now() {
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch())
        .count();
}

// Debian's python3-prometheus-client parses the file; every sample comes back
// as "name|label=value,...|value", or "name|value" without labels. The parser refuses a malformed
// file.
const char kParser[] =
    "import sys\n"
    "from prometheus_client.parser import text_string_to_metric_families\n"
    "for family in text_string_to_metric_families(open(sys.argv[1]).read()):\n"
    "    for s in family.samples:\n"
    "        labels = ','.join(k + '=' + v for k, v in sorted(s.labels.items()))\n"
    "        key = s.name + ('|' + labels if labels else '')\n"
    "        print(key + '|' + repr(float(s.value)))\n";

class Operations : public ProgramFixture {
protected:
    void SetUp() override {
        ProgramFixture::SetUp();
        SetFolders(Backup(), Errors());
        std::filesystem::create_directories(Backup());
        std::filesystem::create_directories(Errors());
    }

    std::string Metrics() { return m_root / "textfile/ferrowin.prom"; }

    // The program with `argument`, run from `folder`; standard output and
    // error are kept. A run that found the lock taken by another test's
    // program (exit 0, nothing said) is tried again.
    Output RunWith(const std::string& argument, const std::string& folder = "/") {
        for (int attempt = 0;; ++attempt) {
            std::string out = m_root / "stdout.txt", errors = m_root / "stderr.txt";
            pid_t pid = fork();
            if (pid == 0) {
                int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
                int e = open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
                if (o < 0 || e < 0 || dup2(o, 1) < 0 || dup2(e, 2) < 0 || chdir(folder.c_str()))
                    _exit(126);
                execl(FERROWIN_PROGRAM, FERROWIN_PROGRAM, argument.c_str(),
                      static_cast<char*>(nullptr));
                _exit(127);
            }
            int status = 0;
            waitpid(pid, &status, 0);
            Output result{WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(out),
                          ReadFile(errors)};
            if (result.code != 0 || !result.out.empty() || !result.errors.empty() || attempt == 600)
                return result;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }

    // The samples of the metrics file, by "name|labels".
    std::map<std::string, double> ParseMetrics() {
        std::string script = m_root / "parse.py";
        WriteFile(script, kParser);
        std::string command = "/usr/bin/python3 " + script + " " + Metrics() + " 2>&1";
        std::map<std::string, double> samples;
        FILE* pipe = popen(command.c_str(), "r");
        if (!pipe) {
            ADD_FAILURE() << "cannot start " << command;
            return samples;
        }
        std::string text;
        char buffer[4096];
        while (std::size_t n = fread(buffer, 1, sizeof buffer, pipe)) text.append(buffer, n);
        int status = pclose(pipe);
        EXPECT_EQ(0, status) << "the parser refused the file:\n"
                             << text << "\n"
                             << ReadFile(Metrics());
        for (std::size_t start = 0; start < text.size();) {
            std::size_t end = text.find('\n', start);
            std::string line = text.substr(start, end - start);
            std::size_t bar = line.rfind('|');
            if (bar != std::string::npos)
                samples[line.substr(0, bar)] = std::stod(line.substr(bar + 1));
            start = end == std::string::npos ? text.size() : end + 1;
        }
        return samples;
    }
};

// The figures of the line, without the seconds.
std::string Figures(const std::string& out) {
    std::size_t end = out.rfind(" rows loaded; ");
    return end == std::string::npos ? out : out.substr(0, end + 14);
}

TEST_F(Operations, TheSummaryAndTheMetricsGiveTheSameFigures) {
    std::filesystem::create_directories(m_root / "textfile");
    CScopedEnv metrics("FERROWIN_METRICS", Metrics());
    {  // Someone else holds the data-running row: asset files wait.
        CADODatabase db;
        ASSERT_TRUE(db.Open("Provider=Embedded;Data Source=" + Database()));
        ASSERT_TRUE(db.Execute("insert into VY_AsDataRunning values(2)"));
    }
    PutLog(kFileLog, "FileLogFile_1.csv", 5);
    PutLog(kLogon, "LogonLogFile_1.csv", 7);
    PutLog(kUrlLog, "URLLogFile_bad.csv", 20, Sample::Fault::BadDate, 1);
    WriteFile(In() + "PrintLogFile_empty.csv", "");
    PutLog(kVirusLog, "AsVirusLogFile_1.csv", 3);
    WriteFile(In() + "notes.csv", "not a log");
    // An agent still writes this one: it waits, without an event.
    std::string writing = PutLog(kFileLog, "FileLogFile_writing.csv", 4);
    int writer = open(writing.c_str(), O_WRONLY | O_APPEND);
    ASSERT_GE(writer, 0);

    double before = Now();
    Output run = RunWith(In());
    double after = Now();
    close(writer);
    EXPECT_TRUE(Exists(writing));

    EXPECT_EQ(1, run.code);
    EXPECT_EQ("", run.errors);
    ASSERT_EQ(1, std::count(run.out.begin(), run.out.end(), '\n')) << run.out;
    EXPECT_EQ(
        "ferrowin: 2 files loaded, 2 sent to the error folder, 2 left for a later run, 1 skipped "
        "as still being written; 12 rows loaded; ",
        Figures(run.out));
    EXPECT_EQ(" seconds\n", run.out.substr(run.out.size() - 9));
    // The events are those of the two failed files, as without the summary.
    EXPECT_EQ(4u, Events().size());
    EXPECT_EQ(5, Rows(kFileLog));
    EXPECT_EQ(7, Rows(kLogon));

    std::map<std::string, double> samples = ParseMetrics();
    EXPECT_EQ(2, samples["ferrowin_last_run_files|outcome=loaded"]);
    EXPECT_EQ(2, samples["ferrowin_last_run_files|outcome=failed"]);
    EXPECT_EQ(2, samples["ferrowin_last_run_files|outcome=left"]);
    EXPECT_EQ(1, samples.at("ferrowin_last_run_files|outcome=in_flight"));
    EXPECT_EQ(5, samples["ferrowin_last_run_rows|table=VY_FileOptLog"]);
    EXPECT_EQ(7, samples["ferrowin_last_run_rows|table=VY_WinAuthLog"]);
    EXPECT_EQ(0, samples.at("ferrowin_last_run_rows|table=VY_UrlLog"));
    int tables = 0;
    for (const auto& [name, value] : samples)
        tables += name.rfind("ferrowin_last_run_rows|", 0) == 0;
    EXPECT_EQ(kLogKindCount, tables);
    EXPECT_EQ(0, samples["ferrowin_last_run_success"]);
    EXPECT_EQ(0, samples.at("ferrowin_last_success_timestamp_seconds"));
    double ran = samples["ferrowin_last_run_timestamp_seconds"];
    EXPECT_GE(ran, before - 1);
    EXPECT_LE(ran, after + 1);
    double duration = samples.at("ferrowin_last_run_duration_seconds");
    EXPECT_GE(duration, 0);
    EXPECT_LE(duration, after - before + 0.01);
    // Written beside and renamed: nothing left at the temporary name, and
    // the exporter's user can read it.
    EXPECT_FALSE(Exists(Metrics() + ".tmp"));
    struct stat st {};
    ASSERT_EQ(0, stat(Metrics().c_str(), &st));
    EXPECT_EQ(0644u, st.st_mode & 0777);

    // A good run (files left for later do not make it bad) is the last good
    // run; the file whose writer is done now loads whole.
    PutLog(kFileLog, "FileLogFile_2.csv", 3);
    run = RunWith(In());
    EXPECT_EQ(
        "ferrowin: 2 files loaded, 0 sent to the error folder, 2 left for a later run, 0 "
        "skipped as still being written; 7 rows loaded; ",
        Figures(run.out));
    EXPECT_FALSE(Exists(writing));
    samples = ParseMetrics();
    EXPECT_EQ(1, samples["ferrowin_last_run_success"]);
    double good = samples["ferrowin_last_success_timestamp_seconds"];
    EXPECT_EQ(samples["ferrowin_last_run_timestamp_seconds"], good);
    EXPECT_EQ(7, samples["ferrowin_last_run_rows|table=VY_FileOptLog"]);

    // A run that fails keeps the time of the last good one.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    WriteFile(In() + "PrintLogFile_empty2.csv", "");
    run = RunWith(In());
    EXPECT_EQ(
        "ferrowin: 0 files loaded, 1 sent to the error folder, 2 left for a later run, 0 "
        "skipped as still being written; 0 rows loaded; ",
        Figures(run.out));
    samples = ParseMetrics();
    EXPECT_EQ(0, samples["ferrowin_last_run_success"]);
    EXPECT_EQ(good, samples["ferrowin_last_success_timestamp_seconds"]);
    EXPECT_GT(samples["ferrowin_last_run_timestamp_seconds"], good);
}

TEST_F(Operations, WithoutADatabaseTheRunIsNotGoodAndAMissingFolderIsSaid) {
    // The database file cannot be created: its folder is missing.
    std::string registry = EmbeddedRegistry();
    registry.replace(registry.find(Database()), Database().size(), m_root / "none/veyrith.db");
    WriteRegistry(registry);
    std::filesystem::create_directories(m_root / "textfile");
    WriteFile(Metrics(), "ferrowin_last_success_timestamp_seconds 1700000000\n");
    PutLog(kFileLog, "FileLogFile_1.csv", 2);
    {
        CScopedEnv metrics("FERROWIN_METRICS", Metrics());
        Output run = RunWith(In());
        EXPECT_EQ(1, run.code);
        EXPECT_NE(std::string::npos,
                  run.out.find("; no connection to the database (see the events)\n"))
            << run.out;
        std::map<std::string, double> samples = ParseMetrics();
        EXPECT_EQ(0, samples["ferrowin_last_run_success"]);
        EXPECT_EQ(1700000000, samples["ferrowin_last_success_timestamp_seconds"])
            << ReadFile(Metrics());
    }
    // A metrics folder that is missing is said on standard error; the run
    // and its exit code are as without metrics.
    WriteRegistry(EmbeddedRegistry());
    CScopedEnv metrics("FERROWIN_METRICS", m_root / "missing/ferrowin.prom");
    Output run = RunWith(In());
    EXPECT_EQ(1, run.code);
    EXPECT_EQ(0u, run.out.find("ferrowin: 1 files loaded,")) << run.out;
    EXPECT_NE(std::string::npos, run.errors.find("ferrowin: the metrics file \"" + m_root.Path() +
                                                 "/missing/ferrowin.prom\" cannot be written"))
        << run.errors;
    EXPECT_FALSE(Exists(m_root / "missing"));
}

// In the program's own process, where the scripted provider can drop the
// connection: the file that met it is left for a later run.
TEST_F(Operations, ALostConnectionIsSaidAndItsFileLeft) {
    WriteRegistry(DefaultRegistry());
    PutLog(kUrlLog, "URLLogFile_a.csv", 2);
    Ado::Scripted::Script().FailStatement("BULK INSERT", Ado::kEFail,
                                          "[08S01] Communication link failure");
    ::testing::internal::CaptureStdout();
    int code = Run(In());
    std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(1, code);
    EXPECT_EQ(
        "ferrowin: 0 files loaded, 0 sent to the error folder, 1 left for a later run, 0 "
        "skipped as still being written; 0 rows loaded; ",
        Figures(out));
    EXPECT_NE(std::string::npos,
              out.find(" seconds; the connection to the database was lost (see the events)\n"))
        << out;
    EXPECT_TRUE(Exists(In() + "URLLogFile_a.csv"));
}

// --help and --version as GNU tools have them: on the fake, the program makes
// no call at all on its platform (no lock, no registry, no file).
TEST(OperationsOptions, HelpAndVersionTouchNothing) {
    const std::pair<const char*, const char*> cases[] = {
        {"--version", "ferrowin 1.0.0\n"},
        {"--help", "Usage: ferrowin DIRECTORY\n"},
    };
    for (const auto& [option, begins] : cases) {
        SCOPED_TRACE(option);
        Platform::CFakePlatform fake;
        fake.PutFolder("/in");
        const char* argv[] = {"ferrowin", option};
        ::testing::internal::CaptureStdout();
        int code = RunFerrowin(fake.Get(), 2, argv);
        std::string out = ::testing::internal::GetCapturedStdout();
        EXPECT_EQ(0, code);
        EXPECT_EQ(0u, out.find(begins)) << out;
        EXPECT_TRUE(fake.Calls().empty()) << fake.Calls()[0];
    }
}

TEST_F(Operations, HelpAndVersionOfTheProgramAndOtherDashArgumentsAreFolders) {
    std::string file = PutLog(kFileLog, "FileLogFile_1.csv", 2);
    Output version = RunWith("--version", In());
    EXPECT_EQ(0, version.code);
    EXPECT_EQ("ferrowin 1.0.0\n", version.out);
    EXPECT_EQ("", version.errors);
    Output help = RunWith("--help", In());
    EXPECT_EQ(0, help.code);
    EXPECT_EQ(0u, help.out.find("Usage: ferrowin DIRECTORY\n"));
    EXPECT_NE(std::string::npos, help.out.find("--version"));
    EXPECT_EQ("", help.errors);
    // Nothing was imported, connected or reported.
    EXPECT_TRUE(Exists(file));
    EXPECT_FALSE(Exists(Database()));
    EXPECT_FALSE(Exists(m_root / "events.log"));

    // Any other argument that starts with '-' is the folder to import (each
    // gets a file of its own name: the ledger knows a file by its name and
    // content, and would not load the same one twice).
    int n = 1;
    for (const char* folder : {"--verbose", "-h", "--versions"}) {
        SCOPED_TRACE(folder);
        std::string name = "/FileLogFile_" + std::to_string(++n) + ".csv";
        std::filesystem::create_directories(m_root / folder);
        std::filesystem::copy_file(file, m_root / folder + name);
        Output run = RunWith(folder, m_root.Path());
        EXPECT_EQ(1, run.code);
        EXPECT_EQ(0u, run.out.find("ferrowin: 1 files loaded,")) << run.out;
        EXPECT_FALSE(Exists(m_root / folder + name));
    }
    EXPECT_EQ(6, Rows(kFileLog));
}

}  // namespace
