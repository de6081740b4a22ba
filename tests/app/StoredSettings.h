#pragma once

#include "MemoryRegistryBackend.h"
#include "settings/CRegister.h"
#include "settings/Settings.h"

#include <initializer_list>
#include <utility>

// Settings stored by name in the program's section, as the Options window
// writes them, in a store of their own.
struct StoredSettings {
    MemoryRegistryBackend store;
    CRegister reg{store};
    StoredSettings(std::initializer_list<std::pair<const char*, const char*>> values = {})
    {
        for (const auto& [name, value] : values) Set(name, value);
    }
    StoredSettings(const StoredSettings&) = delete;
    void Set(const char* name, const char* value) const
    {
        reg.REGSaveSetting(kHKEY_LOCAL_MACHINE, QLatin1String(Settings::kSection), QLatin1String(name), QLatin1String(value));
    }
    QString operator[](const char* name) const
    {
        return store.value(kHKEY_LOCAL_MACHINE, QLatin1String(Settings::kSection).mid(1), QLatin1String(name));
    }
};
