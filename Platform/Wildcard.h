// Matching of file names against a listing pattern ('*' any run, '?' one
// character), ignoring the letter case of ASCII letters, as FindFirstFileA does
// for "*.csv".
#pragma once
#include <string>

namespace Platform {

bool MatchWildcard(const std::string& pattern, const std::string& name);

}  // namespace Platform
