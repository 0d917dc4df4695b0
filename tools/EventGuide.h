// The event section of docs/operations.md, written from the message catalogue
// so that the guide and the program never disagree on an identifier or a text.
#pragma once
#include <string>

// The lines that open and close the generated section in the guide.
extern const char kEventGuideBegin[];
extern const char kEventGuideEnd[];

// The generated section, markers included: one entry per catalogue row with
// its identifier, the number that the journal, the event file and the Windows
// event log show, the text, what the event means and what to do about it.
std::string EventGuideSection();

// The number that Pellinor derives from a message identifier (atol, then the
// 32-bit unsigned value): "010108" gives 10108, "-2147472426" 2147494870.
unsigned long EventNumber(const char* id);

// `document` with the text from kEventGuideBegin to kEventGuideEnd (both
// lines included) replaced by `section`. Returns false, and leaves `*out`
// alone, when the markers are missing or out of order.
bool ReplaceEventGuideSection(const std::string& document, const std::string& section,
                              std::string* out);
