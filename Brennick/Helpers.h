// String and path helpers shared by the importer and the INI class.
// Text is narrow and multibyte: searches never take the second byte of a
// double-byte character for a delimiter.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "Platform/System.h"

// The program's folder with its closing separator ("C:\Tools\" for
// C:\Tools\app.exe); "" when the module path cannot be read.
std::string GetModuleDirectory(Platform::ISystem& system);

// The program's folder followed by `fileName`.
std::string GetModuleFilePath(Platform::ISystem& system, const char* fileName);

// The system's text for a Win32 error code, closing line break included;
// "" for a code without text.
std::string GetSystemErrorText(Platform::ISystem& system, Platform::Status code);

// Splits `source` at each occurrence of `delimiter` ("," when null) into a
// list of NUL-terminated items closed by one more NUL, skipping empty items and
// trimming each item when `trim` is set. An empty (non-null) delimiter copies
// the source whole without the closing NUL. Writes at most `size` bytes and
// returns the bytes used without the closing NUL; 0 for null arguments.
std::size_t SplitList(const char* source, char* output, std::size_t size, const char* delimiter,
                      bool trim);

// Calls `visitor` for each string of a double-NUL-terminated list until it
// returns 0. Returns 1 when the end was reached, 0 when a visitor stopped the
// walk or an argument is null.
using ListVisitor = int (*)(const char* item, void* context);
int ForEachInList(const char* list, ListVisitor visitor, void* context);

// Removes spaces, tabs, CR and LF from both ends of `text` in place; returns
// whether anything was removed. A null text returns false.
bool TrimBlanks(char* text);
bool TrimBlanks(std::string& text);

// "true"/"yes" in any case → true; another text → strtol(text, 10) != 0; a
// null or empty text → `defaultValue`.
bool ParseBool(const char* text, bool defaultValue);

// 2, 8 and 16 stay; any other base becomes 10.
int ValidBase(int base);

// Numbers as text in a base: 2 binary digits, 8 octal, 16 upper-case hex,
// otherwise decimal (signed for FormatSigned).
std::string FormatSigned(std::int32_t value, int base);
std::string FormatUnsigned(std::uint32_t value, int base);
// Binary digits of `value`, at most `maxDigits` of the lowest; 0 gives "0".
std::string FormatBinary(std::uint64_t value, int maxDigits);

// The bytes from `start` up to, not including, `end`.
std::string CopySpan(const char* start, const char* end);

// Position of `needle` in `text` from `from`, stepping over whole multibyte
// characters; std::string::npos when absent.
std::size_t FindText(const std::string& text, const std::string& needle, std::size_t from = 0);
