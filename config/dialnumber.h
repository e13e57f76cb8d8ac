#pragma once
// The rule for a phone number the unit dials or reports to: digits and the signs "+", "*" and
// "#", at most 16 of them. The phone-list dialog holds its typing to it; the settings dialog
// checks the unit's own number against it before saving, since that text also arrives by paste
// or from u.txt.
#include <QString>

inline constexpr int kDialMax = 16;

bool dialChar(QChar c);

// What in the number breaks the rule, in words for the operator ("содержит недопустимые
// знаки: пробел, «(», «)»", "слишком длинный (длина 17)"); empty when the number keeps it. The
// empty number keeps it: whether one is needed is the caller's business.
QString dialFault(const QString& number);

// The rule in words, to follow the fault in a message.
QString dialRule();
