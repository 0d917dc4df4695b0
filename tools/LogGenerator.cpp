#include "tools/LogGenerator.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <stdexcept>

#include "Platform/Ado/Embedded/Cp932.h"
#include "Schema/LogSchema.h"

namespace Sample {

namespace {

const char* const kUsers[] = {"tanaka", "suzuki", "sato", "takahashi", "watanabe", "ito"};
const char* const kDocuments[] = {"見積書", "議事録", "報告書", "請求書", "設計資料", "売上集計"};
const char* const kExtensions[] = {".xlsx", ".docx", ".pdf", ".pptx", ".txt"};
const char* const kApplications[] = {"EXCEL.EXE", "WINWORD.EXE", "explorer.exe", "POWERPNT.EXE",
                                     "notepad.exe"};
const char* const kOperations[] = {"Copy", "Move", "Delete", "Create", "Rename"};
const char* const kWords[] = {"営業部", "共有フォルダ",   "プリンタ",     "ネットワーク",
                              "Office", "更新プログラム", "ウイルス対策", "東京本社",
                              "Tokyo",  "backup"};

// Cuts CP932 text to at most `bytes` without splitting a double-byte character.
std::string CutCp932(const std::string& text, size_t bytes) {
    size_t i = 0;
    while (i < text.size()) {
        auto c = static_cast<unsigned char>(text[i]);
        size_t length = ((c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC)) ? 2 : 1;
        if (i + length > bytes)
            break;
        i += length;
    }
    return text.substr(0, i);
}

}  // namespace

std::string Cp932(const std::string& utf8) {
    std::string out;
    if (!Ado::Embedded::Utf8ToCp932(utf8, &out))
        throw std::runtime_error("no code page 932 form: " + utf8);
    return out;
}

const char* KindPrefix(LogKind kind) {
    return kLogKinds[static_cast<size_t>(kind)].prefix;
}
const char* KindTable(LogKind kind) {
    return kLogKinds[static_cast<size_t>(kind)].table;
}

std::string CLogGenerator::Pick(const char* const* list, size_t count) {
    return list[m_random() % count];
}

std::string CLogGenerator::Record(LogKind kind, std::uint64_t row, Fault fault) {
    using Schema::ColumnType;
    const Schema::TableDef& table = *Schema::FindTable(KindTable(kind));
    std::string user = Pick(kUsers, std::size(kUsers));
    std::string record;
    bool overflowDone = false, lfDone = false;
    for (size_t i = 0; i < table.columns.size(); ++i) {
        const Schema::ColumnDef& c = table.columns[i];
        std::string name = c.name;
        std::string value;
        if (c.identity) {
            value = "0";
        } else if (c.type == ColumnType::DateTime) {
            char date[32];
            unsigned seconds = static_cast<unsigned>(row % 86400);
            std::snprintf(date, sizeof date, "2026/12/%02u %02u:%02u:%02u",
                          static_cast<unsigned>(1 + row / 86400 % 28), seconds / 3600,
                          seconds / 60 % 60, seconds % 60);
            value = date;
            if (fault == Fault::BadDate && name == "LogDate")
                value = "2026/13/45 99:99:99";
        } else if (c.type == ColumnType::Int) {
            value = std::to_string(m_random() % 100);
        } else if (c.type == ColumnType::BigInt) {
            value = std::to_string(m_random() % 10000000);
        } else if (name == "ComputerName") {
            value = "PC-" + std::to_string(100 + m_random() % 900);
        } else if (name == "UserName") {
            value = user;
        } else if (name == "DomainName") {
            value = "CORP";
        } else if (name == "Operation") {
            value = Pick(kOperations, std::size(kOperations));
        } else if (name.find("Application") == 0) {
            value = Pick(kApplications, std::size(kApplications));
        } else if (name.find("FileName") != std::string::npos || name == "AttachedFile") {
            value = Cp932("C:\\Users\\" + user + "\\Documents\\" +
                          Pick(kDocuments, std::size(kDocuments)) + "_" +
                          std::to_string(row % 1000) + Pick(kExtensions, std::size(kExtensions)));
        } else {
            value = Cp932(Pick(kWords, std::size(kWords)) + " " + std::to_string(row % 100));
        }
        if (c.type == ColumnType::VarChar || c.type == ColumnType::NVarChar) {
            value = CutCp932(value, static_cast<size_t>(c.size));
            if (fault == Fault::Overflow && !overflowDone && c.type == ColumnType::VarChar &&
                name != "ComputerName") {
                value = std::string(static_cast<size_t>(c.size) + 1, 'x');
                overflowDone = true;
            }
            if (fault == Fault::LfInField && !lfDone && name != "ComputerName") {
                value = CutCp932("line1\nline2", static_cast<size_t>(c.size));
                lfDone = true;
            }
            if (fault == Fault::InvalidCp932 && name == "ComputerName")
                value = "PC\x81\x20X";
        }
        bool last = i + 1 == table.columns.size();
        if (last && fault == Fault::TooFewFields) {
            record.pop_back();  // the separator before the missing field goes too
            break;
        }
        record += value;
        if (!last)
            record += '\xFE';
    }
    if (fault == Fault::TooManyFields)
        record +=
            "\xFE"
            "surplus";
    return record;
}

bool CLogGenerator::WriteFile(const std::string& path, LogKind kind, std::uint64_t rows,
                              Fault fault, std::uint64_t faultEvery, bool finalCrLf) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out)
        return false;
    std::string buffer;
    for (std::uint64_t row = 1; row <= rows; ++row) {
        Fault f = faultEvery != 0 && row % faultEvery == 0 ? fault : Fault::None;
        buffer += Record(kind, row, f);
        if (row < rows || finalCrLf)
            buffer += "\r\n";
        if (buffer.size() > (1 << 20)) {
            out.write(buffer.data(), static_cast<std::streamsize>(buffer.size()));
            buffer.clear();
        }
    }
    out.write(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    return static_cast<bool>(out);
}

}  // namespace Sample
