#include "platform/portstore.h"
#include <QSettings>

namespace plat {

namespace {
// The one value of the store: the port's name.
const QString kPortKey = QStringLiteral("pr");
// 1 once the station has listened: the modem was prepared and the poll ran.
const QString kListenKey = QStringLiteral("listen");

QSettings store() {
#ifdef Q_OS_WIN
    return QSettings(QStringLiteral("HKEY_LOCAL_MACHINE\\Software\\qolbe\\ravlo"), QSettings::NativeFormat);
#else
    // On Linux the native format is an INI file: ~/.config/qolbe/ravlo.conf.
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("qolbe"), QStringLiteral("ravlo"));
#endif
}
}  // namespace

std::optional<QString> SettingsPortStore::load() {
    auto s = store();
    if (!s.contains(kPortKey)) return std::nullopt;
    return s.value(kPortKey).toString();
}

bool SettingsPortStore::save(const QString& name) {
    auto s = store();
    s.setValue(kPortKey, name);
    s.sync();
    return s.status() == QSettings::NoError;
}

bool SettingsPortStore::listened() { return store().value(kListenKey).toInt() == 1; }

bool SettingsPortStore::saveListened(bool on) {
    auto s = store();
    s.setValue(kListenKey, on ? 1 : 0);
    s.sync();
    return s.status() == QSettings::NoError;
}

}  // namespace plat
