#include "report.h"

#include "codec.h"

#include <cstdio>
#include <fstream>

namespace unitsim {

std::string formatReport(const SettingsReport& r) {
    std::string out;
    const auto line = [&](const std::string& k, const std::string& v) { out += k + "=" + escapeValue(v) + "\n"; };
    line("exchange", std::to_string(r.exchange));
    line("via", r.via);
    line("complete", r.complete ? "1" : "0");
    line("acknowledged", std::to_string(r.acknowledged));
    for (const auto& [k, v] : r.entries) line(k, v);
    return out;
}

bool writeReport(const std::string& path, const SettingsReport& report) {
    const std::string tmp = path + ".tmp";
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        const std::string text = formatReport(report);
        out.write(text.data(), std::streamsize(text.size()));
        out.flush();
        if (!out) return false;
    }
    return std::rename(tmp.c_str(), path.c_str()) == 0;
}

}  // namespace unitsim
