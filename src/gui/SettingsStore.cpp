#include "gui/SettingsStore.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QSettings>
#include <QStandardPaths>
#include <QStringList>
#include <QVariant>

#include <utility>

namespace qb {

namespace {

// Values whose last write failed, by file, section and key. Shared by every
// store of the process, since each window may make its own.
QHash<QString, QString>& SessionValues()
{
    static QHash<QString, QString> values;
    return values;
}

QString SessionKey(const QString& file, const QString& section, const QString& key)
{
    return file + QLatin1Char('\n') + section + QLatin1Char('\n') + key;
}

// A hand-edited value with a comma reads back as a list.
QString AsText(const QVariant& value)
{
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(QLatin1String(", "));
    return value.toString();
}

}  // namespace

QString UserConfigFolder()
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    if (folder.isEmpty())
        folder = QDir::homePath() + QLatin1String("/.config");
    return folder;
}

SettingsStore::SettingsStore() : m_folder(UserConfigFolder()) {}

SettingsStore::SettingsStore(QString folder) : m_folder(std::move(folder)) {}

QString SettingsStore::FilePath(const QString& application) const
{
    return m_folder + QLatin1Char('/') + application + QLatin1String(".ini");
}

QString SettingsStore::GetSetting(const QString& application, const QString& section, const QString& key,
                                  const QString& fallback) const
{
    const QString file = FilePath(application);
    const auto kept = SessionValues().constFind(SessionKey(file, section, key));
    if (kept != SessionValues().constEnd())
        return *kept;

    QSettings settings(file, QSettings::IniFormat);
    settings.beginGroup(section);
    const QVariant value = settings.value(key);
    if (!value.isValid())
        return fallback;
    return AsText(value);
}

bool SettingsStore::SaveSetting(const QString& application, const QString& section, const QString& key,
                                const QString& value)
{
    const QString file = FilePath(application);
    bool written = false;
    {
        QSettings settings(file, QSettings::IniFormat);
        settings.beginGroup(section);
        settings.setValue(key, value);
        settings.endGroup();
        settings.sync();
        // A file that failed to parse hides later write errors in status(),
        // so look at the file as well.
        const QFileInfo info(file);
        written = settings.status() != QSettings::AccessError && info.isFile() && info.isWritable();
    }
    const QString sessionKey = SessionKey(file, section, key);
    if (written)
        SessionValues().remove(sessionKey);
    else
        SessionValues().insert(sessionKey, value);
    return written;
}

QString SettingsStore::Get(const QString& key, const QString& fallback) const
{
    return GetSetting(QLatin1String(kSettingsApplication), QLatin1String(kSettingsSection), key, fallback);
}

bool SettingsStore::Save(const QString& key, const QString& value)
{
    return SaveSetting(QLatin1String(kSettingsApplication), QLatin1String(kSettingsSection), key, value);
}

QString SettingsStore::DataSourceName() const
{
    return Get(QLatin1String(kDataSourceNameKey));
}

QString SettingsStore::Extension() const
{
    return Get(QLatin1String(kExtensionKey), QStringLiteral("txt"));
}

QString SettingsStore::LastFolder() const
{
    return Get(QLatin1String(kLastFolderKey));
}

bool SettingsStore::SaveDataSourceName(const QString& name)
{
    return Save(QLatin1String(kDataSourceNameKey), name);
}

bool SettingsStore::SaveExtension(const QString& extension)
{
    return Save(QLatin1String(kExtensionKey), extension);
}

bool SettingsStore::SaveLastFolder(const QString& folder)
{
    return Save(QLatin1String(kLastFolderKey), folder);
}

}  // namespace qb
