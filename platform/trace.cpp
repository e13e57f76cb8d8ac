#include "platform/trace.h"

// Debug and info are off by default; only warnings and worse would show without a rule, and
// the trace uses none.
Q_LOGGING_CATEGORY(lcLink, "ravlo.link", QtWarningMsg)
Q_LOGGING_CATEGORY(lcArchive, "ravlo.archive", QtWarningMsg)

namespace plat {

QByteArray escapeBytes(QByteArrayView bytes, qsizetype limit) {
    const qsizetype shown = limit >= 0 && limit < bytes.size() ? limit : bytes.size();
    static constexpr char hex[] = "0123456789abcdef";
    QByteArray out;
    out.reserve(shown + shown / 2 + 16);
    for (qsizetype i = 0; i < shown; ++i) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        if (b == '\r') out += "\\r";
        else if (b == '\n') out += "\\n";
        else if (b == '\\') out += "\\\\";
        else if (b >= 0x20 && b < 0x7F) out += char(b);
        else {
            out += "\\x";
            out += hex[b >> 4];
            out += hex[b & 0x0F];
        }
    }
    if (shown < bytes.size()) out += "...(+" + QByteArray::number(bytes.size() - shown) + ')';
    return out;
}

}  // namespace plat
