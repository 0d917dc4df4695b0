// The same rows as tab-separated UTF-8 for the sqlite3 shell's .import, with
// each row's number as its LogID.
//   to-tsv <FileLogFile.csv> <out.tsv>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "Platform/Ado/Embedded/Cp932.h"

int main(int argc, char** argv) {
    if (argc != 3)
        return 2;
    std::ifstream in(argv[1], std::ios::binary);
    std::ofstream out(argv[2], std::ios::binary);
    std::string line, utf8;
    long row = 0;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        utf8.clear();
        std::string fields;
        size_t start = line.find('\xFE');
        fields = std::to_string(++row) + line.substr(start);  // LogID = row number
        for (char& c : fields)
            if (c == '\xFE')
                c = '\t';
        if (!Ado::Embedded::Cp932ToUtf8(fields.data(), fields.size(), &utf8))
            return 1;
        out << utf8 << '\n';
    }
    return 0;
}
