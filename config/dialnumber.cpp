#include "config/dialnumber.h"

#include <QStringList>

namespace {

constexpr int kNamedMax = 10;  // wrong characters named one by one; past these, "и другие"

QString nameOf(char32_t c) {
    if (c == U' ') return QStringLiteral("пробел");
    if (!QChar::isPrint(c)) return QStringLiteral("знак с кодом %1").arg(uint(c));
    return QStringLiteral("«%1»").arg(QString::fromUcs4(&c, 1));
}

}  // namespace

bool dialChar(QChar c) {
    return (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('*') || c == QLatin1Char('+') ||
           c == QLatin1Char('#');
}

QString dialFault(const QString& number) {
    QList<char32_t> wrong;  // each wrong character once, in the order they come
    for (const char32_t c : number.toUcs4())
        if (!(c <= 0xFFFF && dialChar(QChar(char16_t(c)))) && !wrong.contains(c)) wrong << c;
    QStringList faults;
    if (!wrong.isEmpty()) {
        QStringList names;
        for (qsizetype i = 0; i < wrong.size() && i < kNamedMax; ++i) names << nameOf(wrong[i]);
        QString named = names.join(QStringLiteral(", "));
        if (wrong.size() > kNamedMax) named += QStringLiteral(" и другие");
        faults << QStringLiteral("содержит недопустимые знаки: ") + named;
    }
    if (number.size() > kDialMax) faults << QStringLiteral("слишком длинный (длина %1)").arg(number.size());
    return faults.join(QStringLiteral(" и "));
}

QString dialRule() {
    return QStringLiteral("Допустимы только цифры и знаки +, * и #, не более %1 знаков.").arg(kDialMax);
}
