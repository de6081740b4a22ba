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
        for (const auto& [name, folder] : {std::pair{"KELVO_HOME", "kelvo"}, {"KELVO_REGISTRY_DIR", "registry"}, {"XDG_CONFIG_HOME", "config"}}) {
            m_saved.append({name, qEnvironmentVariableIsSet(name) ? qgetenv(name) : QByteArray()});
            qputenv(name, path(folder).toUtf8());
        }
    }
    ~TestEnvironment()
    {
        for (const auto& [name, value] : m_saved) value.isNull() ? qunsetenv(name) : qputenv(name, value);
    }
    TestEnvironment(const TestEnvironment&) = delete;
    TestEnvironment& operator=(const TestEnvironment&) = delete;

    QString path(const QString& sRelative = QString()) const
    {
        return sRelative.isEmpty() ? m_dir.path() : m_dir.path() + QLatin1Char('/') + sRelative;
    }
    QString home() const { return path(QStringLiteral("kelvo")); }
    QString config() const { return path(QStringLiteral("config")); }

private:
    QTemporaryDir m_dir;
    QList<QPair<const char*, QByteArray>> m_saved;
};
