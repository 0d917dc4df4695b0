// Reading back the events that Pellinor appended to KESTRAFOLD_EVENTLOG.
#pragma once
#include <sstream>
#include <string>
#include <vector>

#include "tests/Support/TempDir.h"

struct LoggedEvent {
    std::string time, source, type, id, text;
};

inline std::vector<std::string> SplitTabs(const std::string& line) {
    std::vector<std::string> fields;
    std::stringstream in(line);
    std::string field;
    while (std::getline(in, field, '\t')) fields.push_back(field);
    return fields;
}

// Every line of the file; a line that is not five fields gives an event with
// the whole line as its text and an empty source, so a check on it fails.
inline std::vector<LoggedEvent> ReadEvents(const std::string& path) {
    std::vector<LoggedEvent> events;
    std::stringstream in(ReadFile(path));
    std::string line;
    while (std::getline(in, line)) {
        std::vector<std::string> f = SplitTabs(line);
        if (f.size() == 5)
            events.push_back({f[0], f[1], f[2], f[3], f[4]});
        else
            events.push_back({"", "", "", "", line});
    }
    return events;
}

// The event file's escaping of a text.
inline std::string EscapedText(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '\t')
            out += "\\t";
        else if (c == '\r')
            out += "\\r";
        else if (c == '\n')
            out += "\\n";
        else
            out += c;
    }
    return out;
}
