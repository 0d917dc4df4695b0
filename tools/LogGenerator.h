// Sample log files of the seventeen kinds, as the client agents write them:
// fields separated by 0xFE, CR LF rows, text in code page 932. Faulty
// variants serve the tests and the demo.
#pragma once
#include <cstdint>
#include <random>
#include <string>

#include "Schema/LogKind.h"

namespace Sample {

// The default file-name prefix and the table of a kind, from kLogKinds.
// REQUIRES: IsLogKind(kind).
const char* KindPrefix(LogKind kind);
const char* KindTable(LogKind kind);

enum class Fault {
    None,
    BadDate,        // the log date is no date
    TooFewFields,   // the last field is missing
    TooManyFields,  // one extra field at the end
    InvalidCp932,   // a lead byte without a valid trail byte
    Overflow,       // a VARCHAR value one byte too long
    LfInField,      // a lone LF inside a text field (valid data)
};

class CLogGenerator {
public:
    explicit CLogGenerator(std::uint32_t seed = 1) : m_random(seed) {}

    // One record of `kind` without its row terminator.
    std::string Record(LogKind kind, std::uint64_t row, Fault fault = Fault::None);

    // Writes `rows` records; every `faultEvery`-th record (when non-zero)
    // carries `fault`. The last record ends with CR LF unless `finalCrLf` is
    // false. Returns false when the file cannot be written.
    bool WriteFile(const std::string& path, LogKind kind, std::uint64_t rows,
                   Fault fault = Fault::None, std::uint64_t faultEvery = 0, bool finalCrLf = true);

private:
    std::string Pick(const char* const* list, size_t count);
    std::mt19937 m_random;
};

// Code page 932 bytes of a UTF-8 text (which must have a CP932 form).
std::string Cp932(const std::string& utf8);

}  // namespace Sample
