#include "platform/portstore.h"
#include <QSettings>

namespace plat {

namespace {
QSettings store() {
#ifdef Q_OS_WIN
    return QSettings(QStringLiteral("HKEY_LOCAL_MACHINE\\Software\\qolbe\\ravlo"), QSettings::NativeFormat);
#else
    // On Linux the native format is an INI file: ~/.config/qolbe/ravlo.conf.
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("qolbe"), QStringLiteral("ravlo"));
#endif
}
} // namespace

std::optional<QString> SettingsPortStore::load() {
    auto s = store();
    if (!s.contains(QStringLiteral("pr"))) return std::nullopt;
    return s.value(QStringLiteral("pr")).toString();
}

bool SettingsPortStore::save(const QString& name) {
    auto s = store();
    s.setValue(QStringLiteral("pr"), name);
    s.sync();
    return s.status() == QSettings::NoError;
}

} // namespace plat
