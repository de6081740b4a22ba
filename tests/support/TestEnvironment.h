#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QTemporaryDir>

// Points the program's folders (KELVO_HOME), the settings store
// (KELVO_REGISTRY_DIR) and the user's configuration folder (XDG_CONFIG_HOME,
// where the autostart entry goes) into a fresh temporary folder, and puts the
// previous values back when it goes.
class TestEnvironment {
public:
    TestEnvironment()
    {
        Set("KELVO_HOME", path("kelvo"));
        Set("KELVO_REGISTRY_DIR", path("registry"));
        Set("XDG_CONFIG_HOME", path("config"));
    }
    ~TestEnvironment()
    {
        for (const auto& [name, value] : m_saved) {
            if (value.isNull()) qunsetenv(name.constData());
            else qputenv(name.constData(), value);
        }
    }
    TestEnvironment(const TestEnvironment&) = delete;
    TestEnvironment& operator=(const TestEnvironment&) = delete;

    QString path(const QString& sRelative = QString()) const
    {
        return sRelative.isEmpty() ? m_dir.path() : m_dir.path() + QLatin1Char('/') + sRelative;
    }
    QString home() const { return path(QStringLiteral("kelvo")); }
    QString registry() const { return path(QStringLiteral("registry")); }
    QString config() const { return path(QStringLiteral("config")); }

private:
    void Set(const char* sName, const QString& sValue)
    {
        m_saved.append({QByteArray(sName), qEnvironmentVariableIsSet(sName) ? qgetenv(sName) : QByteArray()});
        qputenv(sName, sValue.toUtf8());
    }

    QTemporaryDir m_dir;
    QList<QPair<QByteArray, QByteArray>> m_saved;
};
