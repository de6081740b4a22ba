#include "settings/CRegister.h"

#include "settings/FileRegistryBackend.h"

#include <memory>

namespace {

RegistryBackend* g_pInstalledBackend = nullptr;

QString ValueName(const QString& sKey) { return sKey == QLatin1String("*") ? QString() : sKey; }

}  // namespace

RegistryBackend& DefaultRegistryBackend()
{
    if (g_pInstalledBackend) return *g_pInstalledBackend;
    static FileRegistryBackend fileStore(FileRegistryBackend::DefaultFolder());
    return fileStore;
}

void SetDefaultRegistryBackend(RegistryBackend* backend) { g_pInstalledBackend = backend; }

CRegister::CRegister() : m_xBackend(DefaultRegistryBackend()) {}

CRegister::CRegister(RegistryBackend& backend) : m_xBackend(backend) {}

QString CRegister::NormalizeSection(const QString& sSection)
{
    QString section = sSection;
    if (section.startsWith(QLatin1Char('\\'))) section.remove(0, 1);
    if (section.endsWith(QLatin1Char('\\'))) section.chop(1);
    return section;
}

QString CRegister::REGGetSetting(quint32 regHKEY, const QString& sSection, const QString& sKey,
                                 const QString& sDefault) const
{
    QString value;
    const RegistryStatus status = m_xBackend.readValue(regHKEY, NormalizeSection(sSection), ValueName(sKey), value);
    if (status != RegistryStatus::Ok || value.isEmpty()) return sDefault;
    return value;
}

bool CRegister::REGSaveSetting(quint32 regHKEY, const QString& sSection, const QString& sKey,
                               const QString& sValue) const
{
    return m_xBackend.writeValue(regHKEY, NormalizeSection(sSection), ValueName(sKey), sValue) == RegistryStatus::Ok;
}

bool CRegister::REGDeleteSetting(quint32 regHKEY, const QString& sSection, const QString& sKey) const
{
    if (!sKey.isEmpty())
        return m_xBackend.deleteValue(regHKEY, NormalizeSection(sSection), ValueName(sKey)) == RegistryStatus::Ok;
    return m_xBackend.deleteKey(regHKEY, sSection) == RegistryStatus::Ok;
}
