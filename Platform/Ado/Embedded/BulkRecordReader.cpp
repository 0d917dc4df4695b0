// The records of a BULK INSERT data file.
#include "Platform/Ado/Embedded/BulkRecordReader.h"

#include <fcntl.h>
#include <unistd.h>

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "Platform/Ado/Embedded/LoaderSystem.h"

namespace Ado::Embedded {

CRecordReader::Result CRecordReader::Next() {
    if (m_atEnd)
        return Result::kEnd;
    const size_t last = m_limits.size() - 1;
    for (;;) {
        const std::string& terminator = m_index < last ? m_field : m_row;
        const char* base = m_buffer.get();
        const char* found = Find(base + m_scan, base + m_length, terminator);
        if (found) {
            size_t end = static_cast<size_t>(found - base);
            size_t index = m_index;
            bool tooLong = !m_skipping && end - m_fieldStart > m_limits[index];
            m_starts[index] = m_fieldStart;
            m_ends[index] = end;
            m_fieldStart = m_scan = end + terminator.size();
            bool recordEnds = index == last;
            m_index = recordEnds ? 0 : index + 1;
            if (recordEnds)
                m_recordStart = m_fieldStart;
            if (tooLong) {  // whole, but too long: skip the rest of the record
                m_skipping = !recordEnds;
                m_overlong = index;
                return Complete(index);
            }
            if (!recordEnds)
                continue;
            if (m_skipping) {  // the end of an overlong record
                m_skipping = false;
                continue;
            }
            return Complete(m_limits.size());
        }
        // Not in the buffer: the field goes on. Only the terminator's first
        // bytes at the end of the buffer need a second look.
        size_t overlap = terminator.size() - 1;
        m_scan = std::max(m_fieldStart, m_length > overlap ? m_length - overlap : 0);
        if (!m_skipping && m_length - m_fieldStart > m_limits[m_index] + overlap) {
            m_skipping = true;
            m_overlong = m_index;
            return Complete(m_index);
        }
        if (!Fill()) {
            m_atEnd = true;
            if (m_index < last)  // fields are missing
                return m_skipping || m_length > m_recordStart ? Result::kTruncated : Result::kEnd;
            if (m_skipping)  // the overlong record ends with the file
                return Result::kEnd;
            // The last record may lack its row terminator.
            m_starts[last] = m_fieldStart;
            m_ends[last] = m_length;
            return Complete(m_limits.size());
        }
    }
}

const char* CRecordReader::Find(const char* from, const char* end, const std::string& what) {
    if (from >= end)
        return nullptr;
    if (what.size() == 1)
        return static_cast<const char*>(
            std::memchr(from, what[0], static_cast<size_t>(end - from)));
    return static_cast<const char*>(
        memmem(from, static_cast<size_t>(end - from), what.data(), what.size()));
}

CRecordReader::Result CRecordReader::Complete(size_t fields) {
    const char* base = m_buffer.get();
    for (size_t i = 0; i < fields; ++i) m_spans[i] = {base + m_starts[i], m_ends[i] - m_starts[i]};
    return fields == m_limits.size() ? Result::kRecord : Result::kOverlong;
}

bool CRecordReader::Fill() {
    m_deadline.Check();
    size_t keep = m_skipping ? m_scan : m_recordStart;
    if (keep > 0) {
        std::memmove(m_buffer.get(), m_buffer.get() + keep, m_length - keep);
        m_length -= keep;
        m_recordStart -= std::min(m_recordStart, keep);
        m_fieldStart -= std::min(m_fieldStart, keep);
        m_scan -= keep;
        for (size_t i = 0; i < m_index; ++i) {
            m_starts[i] -= std::min(m_starts[i], keep);
            m_ends[i] -= std::min(m_ends[i], keep);
        }
    }
    size_t room = std::min(kChunk, m_capacity - m_length);
    if (room == 0)  // cannot happen: a kept record is never longer than a valid one
        RaiseStatementError("Bulk load: the record buffer is full.");
    ssize_t n;
    do {
        n = read(m_fd, m_buffer.get() + m_length, room);
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        int error = errno;
        RaiseStatementError("Cannot bulk load because the file \"" + m_path +
                            "\" is incomplete or could not be read. Operating system error "
                            "code " +
                            std::to_string(error) + "(" + std::strerror(error) + ").");
    }
    m_length += static_cast<size_t>(n);
    return n > 0;
}

CDataFile::CDataFile(const std::string& path) : m_fd(OpenDataFile(path)) {
    if (m_fd < 0) {
        int error = errno;
        if (error == ENOENT || error == ENOTDIR || error == EACCES || error == EPERM ||
            error == ELOOP || error == ENAMETOOLONG)
            RaiseStatementError("Cannot bulk load. The file \"" + path +
                                "\" does not exist or you don't have file access rights.");
        RaiseStatementError(
            CannotOpen(path, std::to_string(error) + "(" + std::strerror(error) + ")"));
    }
    struct stat info {};
    if (fstat(m_fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(m_fd);
        m_fd = -1;
        RaiseStatementError(CannotOpen(path, "5(Access is denied.)"));
    }
}

CDataFile::~CDataFile() {
    if (m_fd >= 0)
        close(m_fd);
}

std::string CDataFile::CannotOpen(const std::string& path, const std::string& system) {
    return "Cannot bulk load because the file \"" + path +
           "\" could not be opened. Operating system error code " + system + ".";
}

}  // namespace Ado::Embedded
