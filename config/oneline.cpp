#include "config/oneline.h"

QValidator::State OneLineValidator::validate(QString& input, int& pos) const {
    for (qsizetype i = input.size(); i-- > 0;) {
        const char16_t c = input[i].unicode();
        if (c != u'\r' && c != u'\n' && c != 0) continue;
        input.remove(i, 1);
        if (pos > i) --pos;
    }
    return Acceptable;
}
