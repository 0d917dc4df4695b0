// What one run did, for the operator: files by outcome, rows by table, and
// how long it took. The collector feeds it at the few points where a file's
// outcome is decided; the entry prints it as one line on standard output and,
// when asked, writes it as metrics in the Prometheus text format.
#pragma once
#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

// Where a listed file ended up after the run.
enum class FileOutcome {
    Loaded,    // its rows reached its table
    Failed,    // sent to the error folder (or renamed ".err" when that failed)
    Left,      // still in the input folder for a later run
    InFlight,  // skipped because its sender was still writing it
};

class CRunSummary {
public:
    // The run begins: the clocks start.
    void Start();
    // The run ends: the clocks stop. Idempotent; the last call counts.
    void Finish();

    // The settings were read and the database connection opened.
    void SetConnected() { m_bConnected = true; }
    // A load met a lost connection; its file stays for a later run.
    void SetConnectionLost() { m_bConnectionLost = true; }

    // One listed file. Until one of the calls below decides, its outcome is
    // Left: a file that is neither loaded nor failed stays in the folder.
    void BeginFile();
    // `rows` rows of the file reached `table`: the growth of the table's
    // highest LogID over the load.
    void FileLoaded(const std::string& table, std::int64_t rows);
    // The file goes to the error folder.
    void FileFailed();
    // The file was skipped because another process still writes it.
    void FileInFlight();
    // Counts the file under its outcome.
    void EndFile();

    std::int64_t Files(FileOutcome outcome) const;
    std::int64_t Rows() const;
    // Rows loaded per table; only tables that received a file appear.
    const std::map<std::string, std::int64_t>& RowsByTable() const { return m_rowsByTable; }
    // Seconds between Start and Finish.
    double Seconds() const;
    // The wall-clock time of Finish, in seconds since 1970.
    double FinishTime() const { return m_finishTime; }
    // A good run connected, kept its connection and sent no file to the
    // error folder.
    bool Good() const;

    // The one line of standard output, without its line break.
    std::string Line() const;

    // The metrics file: this run's figures, and the time of the last good
    // run (this one when it was good, else `lastGoodTime`, else none).
    // `tables` lists every table, so that each series exists in every run.
    std::string Metrics(std::optional<double> lastGoodTime,
                        const std::vector<std::string>& tables) const;

private:
    std::chrono::steady_clock::time_point m_start{}, m_finish{};
    double m_finishTime = 0;
    bool m_bConnected = false;
    bool m_bConnectionLost = false;
    bool m_bInFile = false;
    FileOutcome m_current = FileOutcome::Left;
    std::string m_currentTable;
    std::int64_t m_currentRows = 0;
    std::int64_t m_files[4] = {0, 0, 0, 0};
    std::map<std::string, std::int64_t> m_rowsByTable;
};

// The time of the last good run that an earlier metrics file holds, or none
// when it holds no valid one. The file is treated as untrusted text.
std::optional<double> ReadLastGoodTime(const std::string& metrics);
