#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "persist/default_session.h"
#include "persist/settings_store.h"

using namespace geminor;

/// Every test reads and writes the user's settings under a temporary XDG_CONFIG_HOME.
class SettingsStoreTest : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        QVERIFY(m_home.isValid());
        qputenv("XDG_CONFIG_HOME", m_home.path().toUtf8());
        QFile::remove(configFile());
    }

    void togglesSurviveARestartAndOddValuesGiveTheDefaults()
    {
        QCOMPARE(SettingsStore{}.Display(), 10);
        QVERIFY(!QFile::exists(configFile()));  // reading writes nothing
        SettingsStore{}.SetDisplay(SettingsStore::kViewerOff);
        SettingsStore{}.SetRecycleBin(SettingsStore::kRecycleOff);
        QSettings raw(QStringLiteral("Geminor"), QStringLiteral("Geminor"));
        QCOMPARE(raw.value(QStringLiteral("Options/Display")).toString(), QStringLiteral("9"));
        QCOMPARE(SettingsStore{}.RecycleBin(), 11);
        for (const char *value : {"yes", "", "7", "10.5", "-9"}) {
            raw.setValue(QStringLiteral("Options/Display"), QString::fromLatin1(value));
            raw.setValue(QStringLiteral("Options/RecycleBin"), QString::fromLatin1(value));
            SettingsStore store(raw);
            QCOMPARE(store.Display(), 10);
            QCOMPARE(store.RecycleBin(), 12);
        }
        raw.setValue(QStringLiteral("Options/Display"), QStringLiteral(" 9 "));
        QCOMPARE(SettingsStore(raw).Display(), 9);
    }

    void corruptOrSerializedValuesAreNeverDecoded()
    {
        QDir().mkpath(m_home.path() + QStringLiteral("/Geminor"));
        QFile file(configFile());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray("\x00\xff[Options\nDisplay=\x01\n[[[", 24));
        file.close();
        QCOMPARE(SettingsStore{}.RecycleBin(), 12);
        // Qt's own reader would decode this with QDataStream and allocate gigabytes.
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[Options]\nDisplay=@Variant(\\0\\0\\0\\N10__cxxabivx7f)\nRecycleBin=\"11\"\n"
                   "[File%20Types]\n1=@Variant(\\0\\0\\0\\x7f\\xff\\xff\\xff\\xff)\n");
        file.close();
        SettingsStore store;
        QCOMPARE(store.Display(), 10);
        QCOMPARE(store.RecycleBin(), 11);
        const auto types = store.LoadFileTypes();
        QVERIFY(types && types->size() == 1);
    }

    void fileTypesWithAnyCharactersSurviveARestartInListOrder()
    {
        std::vector<FileTypeEntry> types{
            {QStringLiteral(".a"), QStringLiteral("semi;colon, comma = equals")},
            {QStringLiteral(".b"), QStringLiteral(" edge spaces ")},
            {QStringLiteral(".c"), QStringLiteral("quote \" back\\slash\nnew line\ttab")},
            {QStringLiteral(".d"), QStringLiteral("@not a variant")},
            {QStringLiteral(".\u00e9t\u00e9"), QStringLiteral("\u00c9t\u00e9 \u65e5\u672c")}};
        for (int i = 5; i < 12; ++i)
            types.push_back(
                {QStringLiteral(".t%1").arg(i), i == 7 ? QString() : QStringLiteral("Type %1").arg(i)});
        SettingsStore{}.SaveFileTypes(types);
        const auto read = SettingsStore{}.LoadFileTypes();
        QVERIFY(read);
        QVERIFY(*read == types);  // "10" and "11" after "9", not after "1"
        {
            QSettings raw(QStringLiteral("Geminor"), QStringLiteral("Geminor"));  // Qt's own reader agrees
            QCOMPARE(raw.value(QStringLiteral("File Types/4")).toString(),
                     QStringLiteral(".d;@not a variant"));
            QCOMPARE(raw.value(QStringLiteral("File Types/3")).toString(),
                     QStringLiteral(".c;quote \" back\\slash\nnew line\ttab"));
        }
        types.erase(types.begin());
        SettingsStore{}.SaveFileTypes(types);  // rewritten whole, keys from 1 again
        QSettings raw(QStringLiteral("Geminor"), QStringLiteral("Geminor"));
        QCOMPARE(raw.value(QStringLiteral("File Types/1")).toString(), QStringLiteral(".b; edge spaces "));
        QVERIFY(!raw.contains(QStringLiteral("File Types/12")));
        SettingsStore{}.SaveFileTypes({});
        QVERIFY(!SettingsStore{}.LoadFileTypes());  // no list left: the built-in types again

        raw.clear();  // edited by hand
        raw.setValue(QStringLiteral("File Types/2"), QStringLiteral(".b;Bee;extra"));
        raw.setValue(QStringLiteral("File Types/1"), QStringLiteral(".a"));
        raw.setValue(QStringLiteral("File Types/x"), QStringLiteral(".ignored;No"));
        QVERIFY((*SettingsStore(raw).LoadFileTypes() ==
                 std::vector<FileTypeEntry>{{QStringLiteral(".a"), QString()},
                                            {QStringLiteral(".b"), QStringLiteral("Bee;extra")}}));
    }

    void defaultSessionLivesInTheUserDataFolder()
    {
        qputenv("XDG_DATA_HOME", m_home.path().toUtf8());
        QCOMPARE(QString::fromStdString(DefaultSessionPath()),
                 m_home.path() + QStringLiteral("/Geminor/Default.gmr"));
        QVERIFY(QDir(m_home.path() + QStringLiteral("/Geminor")).exists());
    }

private:
    QString configFile() const { return m_home.path() + QStringLiteral("/Geminor/Geminor.conf"); }
    QTemporaryDir m_home;
};

QTEST_GUILESS_MAIN(SettingsStoreTest)
#include "settings_store_test.moc"
