#pragma once

#include <QString>
#include <QtGlobal>

// The two predefined roots the program uses, with the numbers the registry
// gives them. Other roots are refused by every backend.
inline constexpr quint32 kHKEY_CURRENT_USER = 0x80000001u;
inline constexpr quint32 kHKEY_LOCAL_MACHINE = 0x80000002u;

enum class RegistryStatus {
    Ok,
    NotFound,      // the key or the value does not exist
    AccessDenied,  // the store may be read but not changed
    Failed,        // anything else: bad path, unknown root, I/O error
};

// A hierarchical store of string values, with the semantics of the registry:
// key paths are '\'-separated, key and value names compare without regard to
// letter case, an empty value name is the key's default value, and writing a
// value creates its key (and the key's parents) when needed.
class RegistryBackend {
public:
    virtual ~RegistryBackend() = default;

    virtual RegistryStatus readValue(quint32 root, const QString& keyPath, const QString& valueName,
                                     QString& value) = 0;
    virtual RegistryStatus writeValue(quint32 root, const QString& keyPath, const QString& valueName,
                                      const QString& value) = 0;
    virtual RegistryStatus deleteValue(quint32 root, const QString& keyPath, const QString& valueName) = 0;
    // Deletes the key with its values and everything below it.
    virtual RegistryStatus deleteKey(quint32 root, const QString& keyPath) = 0;
};

// The store that CRegister objects use when none is given. On first use it is
// the per-user file store; tests install their own.
RegistryBackend& DefaultRegistryBackend();
// Installs `backend` as the default (nullptr goes back to the file store).
// The caller keeps ownership and must reset it before destroying the backend.
void SetDefaultRegistryBackend(RegistryBackend* backend);
