#include "gui/SettingsStore.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace qb;

namespace {

void WriteFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

}  // namespace

class SettingsStoreTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_config;

    QString ConfigFile() const { return m_config->filePath("Tolvane.ini"); }

private slots:
    // Each test gets a configuration folder of its own.
    void init()
    {
        m_config = std::make_unique<QTemporaryDir>();
        QVERIFY(m_config->isValid());
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config->path()));
    }

    void cleanup() { m_config.reset(); }

    void firstUseGivesTheDefaults()
    {
        const SettingsStore store;
        QCOMPARE(store.Folder(), m_config->path());
        QCOMPARE(store.DataSourceName(), QString(""));
        QCOMPARE(store.Extension(), QString("txt"));
        QCOMPARE(store.LastFolder(), QString(""));
        QCOMPARE(store.GetSetting("Tolvane", "Quillbarrow", "Missing"), QString());
        QCOMPARE(store.GetSetting("Tolvane", "Quillbarrow", "Missing", "fallback"), QString("fallback"));
        QVERIFY(!QFile::exists(ConfigFile()));
    }

    void valuesLandInTheUsersConfigFile()
    {
        SettingsStore store;
        QVERIFY(store.SaveDataSourceName("Sales"));
        QVERIFY(store.SaveExtension("csv"));
        QVERIFY(store.SaveLastFolder("/home/ann/data"));

        QSettings file(ConfigFile(), QSettings::IniFormat);
        QCOMPARE(file.childGroups(), QStringList{"Quillbarrow"});
        QCOMPARE(file.value("Quillbarrow/DataSourceName").toString(), QString("Sales"));
        QCOMPARE(file.value("Quillbarrow/Extension").toString(), QString("csv"));
        QCOMPARE(file.value("Quillbarrow/LastFolder").toString(), QString("/home/ann/data"));
    }

    void textSurvivesTheRoundTrip_data()
    {
        QTest::addColumn<QString>("value");
        QTest::newRow("comma") << "Sales,2021";
        QTest::newRow("quotes") << "say \"hi\" 'there'";
        QTest::newRow("semicolon and equals") << "DSN=x;UID=y";
        QTest::newRow("outer spaces") << "  padded  ";
        QTest::newRow("backslashes") << "C:\\Data\\In";
        QTest::newRow("non-ASCII") << QString::fromUtf8("Gr\u00fc\u00dfe \u65e5\u672c");
        QTest::newRow("line breaks") << "one\r\ntwo\rthree";
    }

    void textSurvivesTheRoundTrip()
    {
        QFETCH(QString, value);
        QVERIFY(SettingsStore().SaveDataSourceName(value));
        QVERIFY(SettingsStore().SaveExtension(value));
        // A fresh store, as at the next start.
        const SettingsStore next;
        QCOMPARE(next.DataSourceName(), value);
        QCOMPARE(next.Extension(), value);
    }

    void everyIntermediateValueIsKept()
    {
        SettingsStore store;
        for (const QString typed : {"S", "Sa", "Sal", "Sa", ""}) {
            QVERIFY(store.SaveDataSourceName(typed));
            QCOMPARE(SettingsStore().DataSourceName(), typed);
        }
    }

    void storedEmptyTextIsNotTheDefault()
    {
        QVERIFY(SettingsStore().SaveExtension(""));
        QCOMPARE(SettingsStore().Extension(), QString(""));
    }

    void applicationsAndSectionsAreSeparate()
    {
        SettingsStore store;
        QVERIFY(store.SaveSetting("Tolvane", "Quillbarrow", "DataSourceName", "mine"));
        QVERIFY(store.SaveSetting("Tolvane", "Other", "DataSourceName", "section"));
        QVERIFY(store.SaveSetting("Elsewhere", "Quillbarrow", "DataSourceName", "application"));
        QCOMPARE(store.DataSourceName(), QString("mine"));
        QCOMPARE(store.GetSetting("Tolvane", "Other", "DataSourceName"), QString("section"));
        QCOMPARE(store.GetSetting("Elsewhere", "Quillbarrow", "DataSourceName"), QString("application"));
        QVERIFY(QFile::exists(m_config->filePath("Elsewhere.ini")));
    }

    void aMissingConfigFolderIsCreated()
    {
        const QString folder = m_config->filePath("not/yet/there");
        QVERIFY(SettingsStore(folder).SaveLastFolder("/srv"));
        QCOMPARE(SettingsStore(folder).LastFolder(), QString("/srv"));
        QVERIFY(QFile::exists(folder + "/Tolvane.ini"));
    }

    // A folder that cannot exist (its parent is a file) fails even for root.
    void anUnwritableStoreKeepsValuesForTheSession()
    {
        WriteFile(m_config->filePath("blocker"), "not a folder");
        const QString folder = m_config->filePath("blocker/config");
        SettingsStore store(folder);
        QVERIFY(!store.SaveDataSourceName("Typed"));
        QVERIFY(!store.SaveExtension("csv"));
        QCOMPARE(store.DataSourceName(), QString("Typed"));
        QCOMPARE(SettingsStore(folder).Extension(), QString("csv"));
        QCOMPARE(store.LastFolder(), QString(""));
        // Other folders do not see them.
        QCOMPARE(SettingsStore().DataSourceName(), QString(""));
    }

    void aStoreThatRecoversWritesAgain()
    {
        const QString folder = m_config->filePath("later");
        WriteFile(folder, "in the way");
        QVERIFY(!SettingsStore(folder).SaveDataSourceName("first"));
        QVERIFY(QFile::remove(folder));
        QVERIFY(SettingsStore(folder).SaveDataSourceName("second"));
        QCOMPARE(SettingsStore(folder).DataSourceName(), QString("second"));
        QFile file(folder + "/Tolvane.ini");
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readAll().contains("DataSourceName=second"));
    }

    void aReadOnlyFileKeepsValuesForTheSession()
    {
        QVERIFY(SettingsStore().SaveDataSourceName("Before"));
        QFile::setPermissions(ConfigFile(), QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
        QFile::setPermissions(m_config->path(), QFile::ReadOwner | QFile::ExeOwner);
        if (QFileInfo(ConfigFile()).isWritable()) {
            QFile::setPermissions(m_config->path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
            QSKIP("permissions do not bind this user");
        }
        SettingsStore store;
        QVERIFY(!store.SaveDataSourceName("After"));
        QCOMPARE(store.DataSourceName(), QString("After"));
        QFile::setPermissions(m_config->path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        // QSettings would answer from its process-wide cache: look at the bytes.
        QFile file(ConfigFile());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readAll().contains("DataSourceName=Before"));
    }

    void aDamagedFileStillReadsAndWrites()
    {
        WriteFile(ConfigFile(), "[Quillbarrow]\nExtension=csv\n\x01\x02 [[[ = =\n[Broken\n"
                                "LastFolder=a,b\nDataSourceName=\"unterminated\n");
        SettingsStore store;
        QCOMPARE(store.Extension(), QString("csv"));
        QVERIFY(store.SaveDataSourceName("Fresh"));
        QCOMPARE(SettingsStore().DataSourceName(), QString("Fresh"));
        QCOMPARE(SettingsStore().Extension(), QString("csv"));
    }

    void aHandEditedListReadsAsText()
    {
        WriteFile(ConfigFile(), "[Quillbarrow]\nLastFolder=/data/a,b\n");
        QCOMPARE(SettingsStore().LastFolder(), QString("/data/a, b"));
    }
};

QTEST_GUILESS_MAIN(SettingsStoreTest)
#include "SettingsStoreTest.moc"
