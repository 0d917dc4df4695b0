// The install-software log's date field (the eleventh) must hold a valid
// date or nothing before the file is loaded. The file is rewritten whole
// through its ".COPY" file and a rename, so that it is always either as it
// was or fully rewritten.
#include <algorithm>
#include <cstring>
#include <iostream>

#include "Platform/TemporaryName.h"
#include "Server/Ferrowin/LogCollect.h"

namespace {

constexpr char kInstallSoftwareName[] = "AsInstallSoftwareLogFile";
constexpr char kFieldSeparator = '\xFE';
constexpr int kDateField = 10;

// Leading decimal digits of `text` from `at`, saturated well above any day,
// month or year.
long LeadingNumber(const std::string& text, size_t at) {
    long value = 0;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at)
        value = std::min(value * 10 + (text[at] - '0'), 1000000L);
    return value;
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// A rewrite that cannot be done on a file with rows: the import leaves the
// file for a later run rather than load it unrewritten.
struct CRewriteFailed {};

}  // namespace

int CLogCollect::IsValidDate(const char* text) {
    if (!text)
        return 0;
    std::string date = text;
    if (date.size() < 10 || date[4] != '/' || date[7] != '/')
        return 0;
    for (int i : {0, 1, 2, 3, 5, 6, 8, 9})
        if (!IsDigit(date[static_cast<size_t>(i)]))
            return 0;
    long year = LeadingNumber(date, 0);
    long month = LeadingNumber(date, 5);
    long day = LeadingNumber(date, 8);
    if (month < 1 || month > 12 || year == 0 || day == 0)
        return 0;
    bool leap = year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    long days = month == 2 && leap ? 29 : kDays[month - 1];
    return day <= days ? 1 : 0;
}

namespace {

// The content with each line's date field emptied when it holds no valid
// date.
std::string RewriteLines(CLogCollect& collect, const std::string& content) {
    // Line by line: the date field is emptied when it holds no valid date;
    // every other byte stays. Lines end in CR LF, also those that had LF
    // alone; a last line without an end keeps none.
    std::string rewritten;
    rewritten.reserve(content.size() + content.size() / 64);
    for (size_t start = 0; start < content.size();) {
        size_t end = content.find('\n', start);
        bool ended = end != std::string::npos;
        if (!ended)
            end = content.size();
        size_t textEnd = ended && end > start && content[end - 1] == '\r' ? end - 1 : end;

        // Fields are copied in place; only the date field is taken out to be
        // judged, and the search for a separator never passes the line's end.
        size_t field = start;
        for (int index = 0; field <= textEnd; ++index) {
            const void* at = std::memchr(content.data() + field, kFieldSeparator, textEnd - field);
            size_t next =
                at ? static_cast<size_t>(static_cast<const char*>(at) - content.data()) : textEnd;
            if (index != kDateField ||
                collect.IsValidDate(content.substr(field, next - field).c_str()))
                rewritten.append(content, field, next - field);
            if (next == textEnd)
                break;
            rewritten += kFieldSeparator;
            field = next + 1;
        }
        if (ended)
            rewritten += "\r\n";
        start = end + 1;
    }
    return rewritten;
}

}  // namespace

void CLogCollect::PrepareInstallSoftwareLog(const char* path) {
    if (!path || std::string(path).find(kInstallSoftwareName) == std::string::npos)
        return;
    const std::string copyPath = Platform::RewriteCopyName(path);

    std::string content;
    if (m_platform.files.ReadWhole(path, &content) != Platform::kSuccess) {
        std::cerr << "file open error: " << path << '\n';
        return;
    }
    if (content.empty()) {
        std::cerr << "I/O error: " << copyPath << '\n';
        return;
    }
    std::string rewritten = RewriteLines(*this, content);
    if (rewritten != content &&
        m_platform.files.ReplaceContent(path, rewritten, copyPath) != Platform::kSuccess)
        std::cerr << "I/O error: " << copyPath << '\n';
}

void CLogCollect::PrepareClaimedInstallSoftwareLog(const char* path,
                                                   Platform::IClaimedFile& claimed) {
    if (!path || std::string(path).find(kInstallSoftwareName) == std::string::npos)
        return;
    const std::string copyPath = Platform::RewriteCopyName(path);

    std::string content;
    if (claimed.Read(&content) != Platform::kSuccess) {
        std::cerr << "file open error: " << path << '\n';
        throw CRewriteFailed{};
    }
    if (content.empty()) {
        std::cerr << "I/O error: " << copyPath << '\n';
        return;
    }
    std::string rewritten = RewriteLines(*this, content);
    if (rewritten != content && claimed.Rewrite(rewritten) != Platform::kSuccess) {
        std::cerr << "I/O error: " << copyPath << '\n';
        throw CRewriteFailed{};
    }
}
