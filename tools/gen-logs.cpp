// Writes sample log files of every kind into a folder.
//   gen-logs <folder> [--rows N] [--kind K] [--fault NAME] [--every N] [--seed S]
// Without --kind, one file of each of the seventeen kinds.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "tools/LogGenerator.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr,
                     "usage: gen-logs <folder> [--rows N] [--kind 0-16] [--fault "
                     "bad-date|too-few|too-many|invalid-cp932|overflow|lf] [--every N] "
                     "[--seed S]\n");
        return 2;
    }
    std::string folder = argv[1];
    unsigned long long rows = 100, every = 0;
    int kind = -1;
    unsigned seed = 1;
    Sample::Fault fault = Sample::Fault::None;
    const std::map<std::string, Sample::Fault> faults = {
        {"bad-date", Sample::Fault::BadDate},       {"too-few", Sample::Fault::TooFewFields},
        {"too-many", Sample::Fault::TooManyFields}, {"invalid-cp932", Sample::Fault::InvalidCp932},
        {"overflow", Sample::Fault::Overflow},      {"lf", Sample::Fault::LfInField}};
    for (int i = 2; i + 1 < argc; i += 2) {
        std::string option = argv[i], value = argv[i + 1];
        if (option == "--rows") {
            rows = std::strtoull(value.c_str(), nullptr, 10);
        } else if (option == "--kind") {
            kind = std::atoi(value.c_str());
        } else if (option == "--every") {
            every = std::strtoull(value.c_str(), nullptr, 10);
        } else if (option == "--seed") {
            seed = static_cast<unsigned>(std::strtoul(value.c_str(), nullptr, 10));
        } else if (option == "--fault" && faults.count(value)) {
            fault = faults.at(value);
        } else {
            std::fprintf(stderr, "gen-logs: unknown option %s %s\n", option.c_str(), value.c_str());
            return 2;
        }
    }
    if (fault != Sample::Fault::None && every == 0)
        every = 1;
    Sample::CLogGenerator generator(seed);
    for (int k = 0; k < kLogKindCount; ++k) {
        if (kind >= 0 && k != kind)
            continue;
        std::string path = folder + "/" + Sample::KindPrefix(k) + "_PC-101_0001.csv";
        if (!generator.WriteFile(path, k, rows, fault, every)) {
            std::fprintf(stderr, "gen-logs: cannot write %s\n", path.c_str());
            return 1;
        }
        std::printf("%s\n", path.c_str());
    }
    return 0;
}
