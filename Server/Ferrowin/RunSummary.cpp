#include "Server/Ferrowin/RunSummary.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

constexpr char kLastGoodMetric[] = "ferrowin_last_success_timestamp_seconds";

std::size_t Index(FileOutcome outcome) {
    return static_cast<std::size_t>(outcome);
}

std::string Fixed(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

// One gauge with its help line, as the text format wants them: HELP and
// TYPE once, then every sample.
void AddGauge(std::string& out, const char* name, const char* help) {
    out += std::string("# HELP ") + name + " " + help + "\n";
    out += std::string("# TYPE ") + name + " gauge\n";
}

}  // namespace

void CRunSummary::Start() {
    m_start = std::chrono::steady_clock::now();
    m_finish = m_start;
}

void CRunSummary::Finish() {
    m_finish = std::chrono::steady_clock::now();
    m_finishTime =
        std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

void CRunSummary::BeginFile() {
    m_bInFile = true;
    m_current = FileOutcome::Left;
    m_currentTable.clear();
    m_currentRows = 0;
}

void CRunSummary::FileLoaded(const std::string& table, std::int64_t rows) {
    m_current = FileOutcome::Loaded;
    m_currentTable = table;
    m_currentRows = rows > 0 ? rows : 0;
}

void CRunSummary::FileFailed() {
    m_current = FileOutcome::Failed;
}

void CRunSummary::FileInFlight() {
    m_current = FileOutcome::InFlight;
}

void CRunSummary::EndFile() {
    if (!m_bInFile)
        return;
    m_bInFile = false;
    ++m_files[Index(m_current)];
    if (m_current == FileOutcome::Loaded)
        m_rowsByTable[m_currentTable] += m_currentRows;
}

std::int64_t CRunSummary::Files(FileOutcome outcome) const {
    return m_files[Index(outcome)];
}

std::int64_t CRunSummary::Rows() const {
    std::int64_t rows = 0;
    for (const auto& [table, count] : m_rowsByTable) rows += count;
    return rows;
}

double CRunSummary::Seconds() const {
    return std::chrono::duration<double>(m_finish - m_start).count();
}

bool CRunSummary::Good() const {
    return m_bConnected && !m_bConnectionLost && Files(FileOutcome::Failed) == 0;
}

std::string CRunSummary::Line() const {
    std::string line = "ferrowin: " + std::to_string(Files(FileOutcome::Loaded)) +
                       " files loaded, " + std::to_string(Files(FileOutcome::Failed)) +
                       " sent to the error folder, " + std::to_string(Files(FileOutcome::Left)) +
                       " left for a later run, " + std::to_string(Files(FileOutcome::InFlight)) +
                       " skipped as still being written; " + std::to_string(Rows()) +
                       " rows loaded; " + Fixed(Seconds(), 2) + " seconds";
    if (!m_bConnected)
        line += "; no connection to the database (see the events)";
    else if (m_bConnectionLost)
        line += "; the connection to the database was lost (see the events)";
    return line;
}

std::string CRunSummary::Metrics(std::optional<double> lastGoodTime,
                                 const std::vector<std::string>& tables) const {
    if (Good())
        lastGoodTime = m_finishTime;
    std::string out;
    AddGauge(out, "ferrowin_last_run_timestamp_seconds", "When the last run ended.");
    out += "ferrowin_last_run_timestamp_seconds " + Fixed(m_finishTime, 3) + "\n";
    AddGauge(out, kLastGoodMetric,
             "When the last good run ended (connected, no file failed); 0 when none is known.");
    out += std::string(kLastGoodMetric) + " " + Fixed(lastGoodTime.value_or(0), 3) + "\n";
    AddGauge(out, "ferrowin_last_run_success", "1 when the last run was good, else 0.");
    out += std::string("ferrowin_last_run_success ") + (Good() ? "1" : "0") + "\n";
    AddGauge(out, "ferrowin_last_run_duration_seconds", "How long the last run took.");
    out += "ferrowin_last_run_duration_seconds " + Fixed(Seconds(), 3) + "\n";

    AddGauge(out, "ferrowin_last_run_files", "Files of the last run by outcome.");
    const std::pair<FileOutcome, const char*> outcomes[] = {
        {FileOutcome::Loaded, "loaded"},
        {FileOutcome::Failed, "failed"},
        {FileOutcome::Left, "left"},
        {FileOutcome::InFlight, "in_flight"},
    };
    for (const auto& [outcome, label] : outcomes)
        out += std::string("ferrowin_last_run_files{outcome=\"") + label + "\"} " +
               std::to_string(Files(outcome)) + "\n";

    AddGauge(out, "ferrowin_last_run_rows", "Rows the last run loaded, by table.");
    std::map<std::string, std::int64_t> rows;
    for (const std::string& table : tables) rows[table] = 0;
    for (const auto& [table, count] : m_rowsByTable) rows[table] += count;
    for (const auto& [table, count] : rows)
        out += "ferrowin_last_run_rows{table=\"" + table + "\"} " + std::to_string(count) + "\n";
    return out;
}

std::optional<double> ReadLastGoodTime(const std::string& metrics) {
    const std::string prefix = std::string(kLastGoodMetric) + " ";
    for (std::size_t start = 0; start < metrics.size();) {
        std::size_t end = metrics.find('\n', start);
        if (end == std::string::npos)
            end = metrics.size();
        if (metrics.compare(start, prefix.size(), prefix) == 0 &&
            end - start - prefix.size() < 32) {
            std::string number = metrics.substr(start + prefix.size(), end - start - prefix.size());
            char* rest = nullptr;
            double value = std::strtod(number.c_str(), &rest);
            if (rest != number.c_str() && *rest == '\0' && std::isfinite(value) && value > 0)
                return value;
            return std::nullopt;
        }
        start = end + 1;
    }
    return std::nullopt;
}
