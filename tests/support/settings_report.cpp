#include "settings_report.h"

#include "rig.h"
#include "platform/stringlist.h"

#include <QtTest>

namespace rig {

namespace {

// A report value back to its bytes: control bytes, DEL and the backslash come as \xNN.
QByteArray unescape(const QByteArray& v) {
    QByteArray out;
    for (qsizetype i = 0; i < v.size(); ++i) {
        if (v[i] == '\\' && i + 3 < v.size() && v[i + 1] == 'x') {
            out += QByteArray::fromHex(v.mid(i + 2, 2)).left(1);
            i += 3;
        } else {
            out += v[i];
        }
    }
    return out;
}

// The values of report's keys that `want` names, unescaped for comparing with it.
SimReport decoded(const SimReport& report, const SimReport& want) {
    SimReport out;
    for (auto it = want.begin(); it != want.end(); ++it) out.insert(it.key(), unescape(report.value(it.key())));
    return out;
}

}  // namespace

SimReport expectedReport() {
    const auto u = plat::StringList::parse(readFile("u.txt"));
    const auto t1 = plat::StringList::parse(readFile("t1.txt"));
    const auto t2 = plat::StringList::parse(readFile("t2.txt"));
    auto sent = [](const QByteArray& s) { return s.isEmpty() ? QByteArray("1") : s; };
    SimReport r{
        {"apn", sent(u.value(1))}, {"user", sent(u.value(2))}, {"pass", sent(u.value(3))},      {"oper", u.value(7)},
        {"sim", u.value(8)},       {"resolution", u.value(9)}, {"resolution_check", u.value(9)}};
    if (u.value(8) == "1") return r;
    r.insert("email", sent(u.value(4)));
    for (int i = 0; i < 4; ++i) r.insert("tel" + QByteArray::number(i + 1), t1.value(i));
    r.insert("levels", sent(t2.value(0) + t2.value(1) + t2.value(2) + t2.value(3)));
    return r;
}

void checkTransferred(const SimReport& report, int acknowledged) {
    QCOMPARE(report.value("complete"), QByteArray("1"));
    QCOMPARE(report.value("acknowledged"), QByteArray::number(acknowledged));
    const SimReport want = expectedReport();
    QCOMPARE(decoded(report, want), want);
}

}  // namespace rig
