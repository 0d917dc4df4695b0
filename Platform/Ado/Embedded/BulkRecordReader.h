// The records of a BULK INSERT data file: the statement's time limit, the
// data file, and the reader that hands out its records field by field.
#pragma once
#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "Platform/Ado/Embedded/Sqlite.h"

namespace Ado::Embedded {

// The statement's time limit: none for a command timeout of 0, as in ADO.
class CDeadline {
public:
    explicit CDeadline(long seconds)
        : m_limited(seconds > 0),
          m_at(std::chrono::steady_clock::now() + std::chrono::seconds(m_limited ? seconds : 0)) {}

    bool Passed() const { return m_limited && std::chrono::steady_clock::now() >= m_at; }

    // Throws SQL Server's query timeout once the limit has passed.
    void Check() const {
        if (Passed())
            throw ComError(kDbTimeout, "Query timeout expired", kSource);
    }

private:
    bool m_limited;
    std::chrono::steady_clock::time_point m_at;
};

// Reads a file in chunks and hands out records: N-1 fields ending at the field
// terminator and the last one at the row terminator. Each byte is scanned
// once: the search for a terminator resumes where the last chunk ended. A
// field that grows past its column's longest valid length is reported at once
// (kOverlong) and the rest of its record is skipped without being kept, so
// the buffer never holds more than one chunk and one record of valid length.
class CRecordReader {
public:
    enum class Result {
        kRecord,     // Fields() holds every field
        kOverlong,   // field OverlongField() is too long; Fields() holds those before it
        kEnd,        // the file ended after a complete record
        kTruncated,  // the file ended inside a record
    };

    CRecordReader(int fd, const std::string& path, const std::string& fieldTerminator,
                  const std::string& rowTerminator, std::vector<size_t> limits,
                  const CDeadline& deadline)
        : m_fd(fd),
          m_path(path),
          m_field(fieldTerminator),
          m_row(rowTerminator),
          m_limits(std::move(limits)),
          m_deadline(deadline),
          m_starts(m_limits.size()),
          m_ends(m_limits.size()),
          m_spans(m_limits.size()) {
        size_t record = m_limits.size() * m_field.size() + m_row.size();
        for (size_t limit : m_limits) record += limit;
        m_buffer.reset(new char[record + kChunk]);
        m_capacity = record + kChunk;
    }

    // The next record. Fields() are spans of the buffer, valid until the next
    // call. Throws ComError when the file cannot be read or time runs out.
    Result Next();

    const std::vector<std::pair<const char*, size_t>>& Fields() const { return m_spans; }
    size_t OverlongField() const { return m_overlong; }

private:
    static constexpr size_t kChunk = 1 << 20;

    static const char* Find(const char* from, const char* end, const std::string& what);

    Result Complete(size_t fields);

    // Drops what is no longer needed (the records handed out, or all of an
    // overlong record but the bytes still to be searched) and reads a chunk.
    // False at the end of the file.
    bool Fill();

    int m_fd;
    const std::string& m_path;
    std::string m_field, m_row;
    std::vector<size_t> m_limits;
    const CDeadline& m_deadline;
    std::unique_ptr<char[]> m_buffer;
    size_t m_capacity = 0;
    size_t m_length = 0;       // bytes in the buffer
    size_t m_recordStart = 0;  // where the current record starts
    size_t m_fieldStart = 0;   // where the current field starts
    size_t m_scan = 0;         // where the search for its terminator resumes
    size_t m_index = 0;        // the current field
    bool m_skipping = false;   // inside an overlong record
    bool m_atEnd = false;
    size_t m_overlong = 0;
    std::vector<size_t> m_starts, m_ends;
    std::vector<std::pair<const char*, size_t>> m_spans;
};

// The data file, opened without blocking: a FIFO, a device or a folder is
// refused before any read, as SQL Server refuses a file it cannot open.
class CDataFile {
public:
    explicit CDataFile(const std::string& path);
    ~CDataFile();
    CDataFile(const CDataFile&) = delete;
    CDataFile& operator=(const CDataFile&) = delete;
    int Fd() const { return m_fd; }

private:
    static std::string CannotOpen(const std::string& path, const std::string& system);
    int m_fd;
};

}  // namespace Ado::Embedded
