#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

#include "tests/support/qt_tests.h"
#include "tests/support/window_fixture.h"
#include "ui/folder_frm.h"
#include "ui/main_frm.h"
#include "ui/shipped_files.h"

using namespace geminor;
using geminor::test::Child;

class FolderFrmTest : public test::WindowTest
{
    Q_OBJECT
private slots:
    void init() { QVERIFY(fresh()); }

    void opensWithTheBuiltInTypesAndTheFolderBrowser()
    {
        FolderFrm dialog(prompter, *settings);
        auto *types = Child<QListWidget>(dialog, "FType");
        QStringList texts;
        for (int i = 0; i < types->count(); ++i)
            texts << types->item(i)->text();
        QCOMPARE(texts, QStringList(
                            {".mp3", ".wma", ".jpg", ".gif", ".exe", ".zip", ".mpg", ".wav", ".ra", ".avi"}));
        QVERIFY(!Child<QToolButton>(dialog, "cmdFileAdd")->isEnabled());
        for (const char *name : {"Command2", "cmdFileAdd", "cmdFileDelete"}) {  // seen without an icon theme
            auto *button = Child<QToolButton>(dialog, name);
            QVERIFY2(!button->icon().isNull() || !button->text().isEmpty(), name);
        }
        auto *ok = Child<QPushButton>(dialog, "cmdOK");
        QVERIFY(!ok->isEnabled());
        prompter.fileAnswer = "/music";
        dialog.show();
        QTRY_COMPARE(prompter.asked.value(0), QStringLiteral("Choose Folder to Search"));
        QVERIFY(ok->isEnabled());
        dialog.browse();  // cancelled: the path stays
        QCOMPARE(Child<QLineEdit>(dialog, "Text1")->text(), QStringLiteral("/music"));
        QVERIFY(ok->isEnabled());
        Child<QLineEdit>(dialog, "Text1")->clear();  // nothing typed: no OK
        QVERIFY(!ok->isEnabled());
        Child<QPushButton>(dialog, "cmdCancel")->click();
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QVERIFY(!settings->LoadFileTypes());  // nothing written yet
    }

    void addedTypesGoToTheTopInOrderAndAreStored()
    {
        {
            FolderFrm dialog(prompter, *settings);
            Child<QRadioButton>(dialog, "Option2")->setChecked(true);
            prompter.texts = {QStringLiteral("*.MP4"), QStringLiteral("f.l,a.c"), QString()};
            dialog.addFileType();
            dialog.addFileType();
            dialog.addFileType();  // an empty answer adds nothing, but still counts
            QCOMPARE(dialog.addCounter(), 3);
        }
        const auto stored = settings->LoadFileTypes();
        QVERIFY(stored);
        QCOMPARE(stored->size(), std::size_t{12});
        QCOMPARE((*stored)[0].extension, QStringLiteral(".MP4"));
        QCOMPARE((*stored)[1].extension, QStringLiteral(".flac"));
        QCOMPARE((*stored)[2].extension, QStringLiteral(".mp3"));
        FolderFrm reopened(prompter, *settings);
        QCOMPARE(Child<QListWidget>(reopened, "FType")->item(1)->text(), QStringLiteral(".flac"));
    }

    void handsBackTheRowOrInsistsOnAType()
    {
        FolderFrm dialog(prompter, *settings);
        prompter.fileAnswer = "/data";
        dialog.browse();
        Child<QRadioButton>(dialog, "Option2")->setChecked(true);
        dialog.accept();
        QCOMPARE(prompter.informed.value(0), QStringLiteral("Error|Please select at least one file type"));
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        auto *types = Child<QListWidget>(dialog, "FType");
        types->item(2)->setCheckState(Qt::Checked);  // .jpg
        types->item(0)->setCheckState(Qt::Checked);  // .mp3
        Child<QCheckBox>(dialog, "Check1")->setChecked(false);
        dialog.accept();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QVERIFY((dialog.location() == SearchLocation{"/data", "No", ".mp3;.jpg", false, false}));
        auto *reference = Child<QCheckBox>(dialog, "Check3");
        reference->setChecked(true);
        dialog.accept();
        QVERIFY(dialog.location().Reference);

        auto *exclude = Child<QCheckBox>(dialog, "Check2");
        exclude->setChecked(true);
        QVERIFY(!reference->isEnabled() && !reference->isChecked());  // a folder left out keeps nothing
        QVERIFY(Child<QRadioButton>(dialog, "Option1")->isChecked());
        QVERIFY(!Child<QRadioButton>(dialog, "Option2")->isEnabled());
        QVERIFY(exclude->font().bold());
        dialog.accept();
        QVERIFY(dialog.location().Exclude);
        QCOMPARE(dialog.location().FileTypes, std::string("*.*"));
    }

    void takesATypedFullPath()
    {
        FolderFrm dialog(prompter, *settings);
        auto *path = Child<QLineEdit>(dialog, "Text1");
        QVERIFY(!path->isReadOnly() && path->completer());
        QTest::keyClicks(path, QStringLiteral("photos/2024"));
        dialog.accept();  // not a full path: said, not taken
        QCOMPARE(prompter.informed.value(0),
                 QStringLiteral("Error|Please type the full path of a folder, starting with / or ~/"));
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        path->setText(QStringLiteral("~/photos/2024/"));
        dialog.accept();
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(QString::fromStdString(dialog.location().Folder),
                 QDir::homePath() + QStringLiteral("/photos/2024"));
    }

    void aDoubleClickedLocationIsEditedInPlace()
    {
        MainFrm window(prompter, *settings);
        window.setRequest({{{"/a", "Yes", "*.*", false, false}, {"/b", "No", ".flac;.jpg", false, true}}});
        window.show();
        QString shownPath;
        QTimer::singleShot(0, [&] {
            auto *dialog = qobject_cast<FolderFrm *>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            shownPath = Child<QLineEdit>(*dialog, "Text1")->text();
            Child<QLineEdit>(*dialog, "Text1")->setText(QStringLiteral("/c"));
            dialog->accept();
        });
        auto *list = Child<QTreeWidget>(window, "SearchList");
        const QPoint second = list->visualItemRect(list->topLevelItem(1)).center();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, second);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, second);
        QCOMPARE(shownPath, QStringLiteral("/b"));
        QVERIFY(prompter.asked.isEmpty());  // no folder browser over a known location
        // The rest as it was; the types in list order, and one not listed is added.
        const std::vector<SearchLocation> expected = {{"/a", "Yes", "*.*", false, false},
                                                      {"/c", "No", ".jpg;.flac", false, true}};
        QVERIFY(window.request().Locations == expected);
    }

    void helpAndFoldersSayWhenNothingOpensThem()
    {
        QTemporaryDir bin;
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", bin.path().toUtf8());  // no xdg-open at all
        QWidget window;
        const auto open = [&] {
            OpenOnDesktop(window, prompter, QStringLiteral("/usr/share/doc/help.html"),
                          QStringLiteral("Help Topics"),
                          QStringLiteral("No web browser could open the help page"));
        };
        open();
        QTRY_COMPARE(prompter.informed.size(), 1);
        QCOMPARE(
            prompter.informed.value(0),
            QStringLiteral("Help Topics|No web browser could open the help page:\n/usr/share/doc/help.html"));
        const auto opener = [&](const char *status) {
            QFile script(bin.path() + QStringLiteral("/xdg-open"));
            QVERIFY(script.open(QIODevice::WriteOnly | QIODevice::Truncate));
            script.write(QByteArray("#!/bin/sh\nexit ") + status + "\n");
            script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        };
        opener("3");  // xdg-open found no program for it
        open();
        QTRY_COMPARE(prompter.informed.size(), 2);
        opener("0");
        open();
        QTest::qWait(300);
        QCOMPARE(prompter.informed.size(), 2);  // opened: nothing said
        qputenv("PATH", path);
    }

    void fileDialogsStartInTheFolderUsedLast()
    {
        MessageBoxPrompter dialogs;
        QCOMPARE(dialogs.startFolder(), QDir::homePath());
        QTemporaryDir used;
        dialogs.usedFolder(used.path());
        QCOMPARE(dialogs.startFolder(), used.path());
        dialogs.usedFolder(used.path() + QStringLiteral("/gone"));
        QCOMPARE(dialogs.startFolder(), QDir::homePath());
    }
};

GEMINOR_QT_TEST(FolderFrmTest)
#include "folder_frm_test.moc"
