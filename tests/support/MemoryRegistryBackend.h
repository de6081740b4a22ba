#pragma once

#include "settings/RegistryBackend.h"

#include <QMap>
#include <QPair>
#include <QString>

// A registry kept in memory, for tests that need a store but not the file
// format. Keys exist once a value has been written below them.
class MemoryRegistryBackend final : public RegistryBackend {
public:
    bool bReadOnly = false;  // writes and deletions are refused, as without write access

    RegistryStatus readValue(quint32 root, const QString& keyPath, const QString& valueName, QString& value) override
    {
        const auto key = m_keys.constFind({root, keyPath.toLower()});
        if (key == m_keys.cend()) return RegistryStatus::NotFound;
        const auto found = key->constFind(valueName.toLower());
        if (found == key->cend()) return RegistryStatus::NotFound;
        value = *found;
        return RegistryStatus::Ok;
    }
    RegistryStatus writeValue(quint32 root, const QString& keyPath, const QString& valueName,
                              const QString& value) override
    {
        if (bReadOnly) return RegistryStatus::AccessDenied;
        if (keyPath.isEmpty() || keyPath.startsWith(QLatin1Char('\\'))) return RegistryStatus::Failed;
        m_keys[{root, keyPath.toLower()}][valueName.toLower()] = value;
        return RegistryStatus::Ok;
    }
    RegistryStatus deleteValue(quint32 root, const QString& keyPath, const QString& valueName) override
    {
        if (bReadOnly) return RegistryStatus::AccessDenied;
        auto key = m_keys.find({root, keyPath.toLower()});
        if (key == m_keys.end() || key->remove(valueName.toLower()) == 0) return RegistryStatus::NotFound;
        return RegistryStatus::Ok;
    }
    RegistryStatus deleteKey(quint32 root, const QString& keyPath) override
    {
        if (bReadOnly) return RegistryStatus::AccessDenied;
        const QString path = keyPath.toLower();
        const bool bFound = m_keys.removeIf([&](const auto& key) {
            return key.key().first == root && (key.key().second == path || key.key().second.startsWith(path + '\\'));
        });
        return bFound ? RegistryStatus::Ok : RegistryStatus::NotFound;
    }

    // The value as stored, or a null string when it is missing.
    QString value(quint32 root, const QString& keyPath, const QString& valueName) const
    {
        return m_keys.value({root, keyPath.toLower()}).value(valueName.toLower());
    }
    bool has(quint32 root, const QString& keyPath, const QString& valueName) const
    {
        return m_keys.value({root, keyPath.toLower()}).contains(valueName.toLower());
    }

private:
    QMap<QPair<quint32, QString>, QMap<QString, QString>> m_keys;
};
