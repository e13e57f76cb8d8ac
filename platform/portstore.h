#pragma once
#include <QString>
#include <optional>

namespace plat {

// The remembered port choice: one text value "pr".
class PortStore {
public:
    virtual ~PortStore() = default;
    // The remembered name, or nothing when no value is stored.
    virtual std::optional<QString> load() = 0;
    // Stores the name; false when the store cannot be written (nothing is said then).
    virtual bool save(const QString& name) = 0;
};

// QSettings: the INI file qolbe/ravlo.conf in the user's configuration folder on Linux,
// the native registry on Windows.
class SettingsPortStore final : public PortStore {
public:
    std::optional<QString> load() override;
    bool save(const QString& name) override;
};

} // namespace plat
