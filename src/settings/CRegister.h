#pragma once

#include "settings/RegistryBackend.h"

#include <QString>

// The program's only access to its settings: read, write and delete one
// string value (or one whole key) under a root. Objects hold no state between
// calls; create one where a setting is needed.
//
// A value name of "*" stands for the key's default (unnamed) value. Sections
// are given as "\Software\Kelvo\Settings"; one leading and one trailing
// backslash are removed before use.
class CRegister {
public:
    CRegister();  // uses DefaultRegistryBackend()
    explicit CRegister(RegistryBackend& backend);

    // The stored text, or sDefault when the value is missing, empty or the
    // store cannot be read. Never fails visibly.
    QString REGGetSetting(quint32 regHKEY, const QString& sSection, const QString& sKey,
                          const QString& sDefault = QString()) const;
    // True when the value was written.
    bool REGSaveSetting(quint32 regHKEY, const QString& sSection, const QString& sKey, const QString& sValue) const;
    // With a value name: deletes that value of the section. Without one:
    // deletes the subkey named by the section as given (not normalised),
    // with everything below it. True when the deletion succeeded.
    bool REGDeleteSetting(quint32 regHKEY, const QString& sSection, const QString& sKey = QString()) const;

    static QString NormalizeSection(const QString& sSection);

private:
    RegistryBackend& m_xBackend;
};
