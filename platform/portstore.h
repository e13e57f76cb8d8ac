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
    // Whether the station listened (the modem was prepared) when it last ran, so that a start
    // after a restart of the PC listens again by itself. Kept beside the port's name.
    virtual bool listened() = 0;
    virtual bool saveListened(bool on) = 0;
};

// QSettings: the INI file qolbe/ravlo.conf in the user's configuration folder on Linux,
// the native registry on Windows.
class SettingsPortStore final : public PortStore {
public:
    std::optional<QString> load() override;
    bool save(const QString& name) override;
    bool listened() override;
    bool saveListened(bool on) override;
};

}  // namespace plat
