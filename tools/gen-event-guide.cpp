// Writes the event section of the operations guide from the message catalogue.
//   gen-event-guide                      prints the section
//   gen-event-guide docs/operations.md   rewrites the section in that file
#include <cstdio>
#include <fstream>
#include <sstream>

#include "tools/EventGuide.h"

int main(int argc, char** argv) {
    std::string section = EventGuideSection();
    if (argc < 2) {
        std::fputs(section.c_str(), stdout);
        return 0;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "gen-event-guide: cannot read %s\n", argv[1]);
        return 1;
    }
    std::stringstream text;
    text << in.rdbuf();
    in.close();
    std::string updated;
    if (!ReplaceEventGuideSection(text.str(), section, &updated)) {
        std::fprintf(stderr, "gen-event-guide: %s has no event section markers\n", argv[1]);
        return 1;
    }
    std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
    out << updated;
    return out ? 0 : 1;
}
