// The window's side of similar pictures: the method choice, the picture columns, the keep rule,
// the question before acting and the side-by-side view.
#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QImage>
#include <QRadioButton>
#include <QTableView>

#include "tests/support/qt_tests.h"
#include "tests/support/test_pictures.h"
#include "tests/support/window_fixture.h"
#include "ui/file_info_frm.h"
#include "ui/main_frm.h"
#include "ui/picture_pair.h"

using namespace geminor;

class SimilarWindowTest : public test::WindowTest
{
    Q_OBJECT
private slots:
    void init() { QVERIFY(fresh()); }

    void methodChoiceReachesTheRequest()
    {
        MainFrm window(prompter, *settings);
        auto *similar = window.findChild<QRadioButton *>(QStringLiteral("Option5"));
        auto *level = window.findChild<QComboBox *>(QStringLiteral("cboSimilarity"));
        QVERIFY(similar && level);
        QCOMPARE(level->currentText(), QStringLiteral("High"));
        QVERIFY(!level->isEnabled());
        similar->click();
        QVERIFY(level->isEnabled());
        level->setCurrentIndex(level->findText(QStringLiteral("Low")));
        QCOMPARE(window.request().Method, SearchMethod::SimilarPictures);
        QCOMPARE(window.request().similarity, Similarity::Low);

        SearchRequest back;
        back.Method = SearchMethod::SimilarPictures;
        back.similarity = Similarity::VeryHigh;
        window.setRequest(back);
        QVERIFY(similar->isChecked() && level->isEnabled());
        QCOMPARE(window.request().similarity, Similarity::VeryHigh);
        window.setRequest({});
        QVERIFY(!level->isEnabled());
    }

    void scanKeepAskAndCompare()
    {
        QTemporaryDir tree;
        QVERIFY(test::Pattern(160).save(tree.path() + QStringLiteral("/large.png")));
        QVERIFY(test::Pattern(80).save(tree.path() + QStringLiteral("/small.jpg")));
        MainFrm window(prompter, *settings);
        window.resize(1000, 700);
        window.show();
        SearchRequest request;
        request.Locations = {{tree.path().toStdString(), "Yes", "*.*", false}};
        request.Method = SearchMethod::SimilarPictures;
        window.setRequest(request);
        QVERIFY(test::Scanned(window));
        ResultModel &model = *window.results();
        QCOMPARE(model.rowCount(), 2);
        auto *list = window.findChild<QTableView *>(QStringLiteral("RLV"));
        QVERIFY(!list->isColumnHidden(ResultModel::Dimensions) &&
                !list->isColumnHidden(ResultModel::Distance));
        QCOMPARE(model.index(0, ResultModel::Dimensions).data().toString(), QStringLiteral("160 x 120"));
        QCOMPARE(model.index(1, ResultModel::Dimensions).data().toString(), QStringLiteral("80 x 60"));
        QCOMPARE(model.index(0, ResultModel::Distance).data().toString(), QStringLiteral("0"));

        // The smaller goes, even listed first.
        model.arrange(GroupOrder::Name, {});
        test::Child(window, "MKeepLargestResolution")->trigger();
        QVERIFY(test::Marked(model, tree.path().toStdString() + "/small.jpg"));
        QVERIFY(!test::Marked(model, tree.path().toStdString() + "/large.png"));

        QCOMPARE(window.recycleState(), int(SettingsStore::kRecycleOn));
        window.DeleteMarked();  // answered no: nothing happens
        prompter.answers = {true};
        window.toggleRecycle();  // off, then for good
        window.DeleteMarked();
        QCOMPARE(prompter.asked
                     .filter(QStringLiteral("Confirm|1 similar pictures will be moved to the Trash; the "
                                            "kept ones are not byte-identical copies."))
                     .size(),
                 1);
        QCOMPARE(prompter.asked
                     .filter(QStringLiteral("Confirm|1 similar pictures will be deleted for good; the "
                                            "kept ones are not byte-identical copies."))
                     .size(),
                 1);
        QCOMPARE(model.rowCount(), 2);

        list->setCurrentIndex(model.index(1, 0));
        test::Child(window, "MCompare")->trigger();
        QVERIFY(window.viewer());
        QSignalSpy pictures(window.viewer(), &FileInfoFrm::pictureShown);
        QVERIFY(pictures.wait(10000));
        QVERIFY(window.viewer()->pair()->isVisible());
        QKeyEvent menuKey(QEvent::KeyRelease, Qt::Key_C, Qt::NoModifier);  // as after View > Compare
        QApplication::sendEvent(list, &menuKey);
        QVERIFY(!pictures.wait(300) && window.viewer()->pair()->isVisible());
        QCOMPARE(window.viewer()->pair()->picture(0).width() + window.viewer()->pair()->picture(1).width(),
                 240);
    }

    void sideBySideAtOneScale()
    {
        PicturePair pair(nullptr);
        pair.resize(640, 300);
        QImage large(200, 100, QImage::Format_RGB32), small(100, 50, QImage::Format_RGB32);
        large.fill(Qt::red);
        small.fill(Qt::blue);
        pair.setPictures(small, large);
        const QRect left = pair.pictureRect(0), right = pair.pictureRect(1);
        QVERIFY(pair.scale() > 1.5);  // small ones are shown larger, both alike
        QCOMPARE(left.size(), small.size() * pair.scale());
        QCOMPARE(right.size(), large.size() * pair.scale());
        QVERIFY(left.right() < right.left() && right.right() < pair.width());
        QCOMPARE(left.bottom(), right.bottom());
        pair.resize(150, 300);  // narrow: both shrink by one factor and still fit
        QVERIFY(pair.scale() < 1);
        QCOMPARE(pair.pictureRect(1).width(), qRound(200 * pair.scale()));
        QVERIFY(pair.pictureRect(1).right() < pair.width());
        QCOMPARE(DimensionsText(200, 100), QStringLiteral("200 x 100"));
    }
};

GEMINOR_QT_TEST(SimilarWindowTest)
#include "similar_window_test.moc"
