#pragma once
// The settings report: what the unit made of one settings exchange, as "key=value" lines.
#include <string>
#include <utility>
#include <vector>

namespace unitsim {

struct SettingsReport {
    int exchange = 0;                                          // 1 for the first exchange since start
    std::string via;                                           // "cable" or "call"
    bool complete = false;                                     // every item arrived and was answered OK
    int acknowledged = 0;                                      // items answered OK, "time " included
    std::vector<std::pair<std::string, std::string>> entries;  // decoded items, in arrival order
};

// One "key=value" line each, LF-ended; values escaped by escapeValue.
std::string formatReport(const SettingsReport& report);

// Writes the report through a temporary file and a rename, so a reader never sees half a report.
bool writeReport(const std::string& path, const SettingsReport& report);

}  // namespace unitsim
