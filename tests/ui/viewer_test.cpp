#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QLabel>
#include <QTableView>
#include <QToolButton>

#include "tests/support/qt_tests.h"
#include "tests/support/window_fixture.h"
#include "ui/file_info_frm.h"
#include "ui/main_frm.h"

using namespace geminor;

namespace {

/// A JPEG of `width` x `height` stored as it comes off a camera held upright: an EXIF
/// orientation of 6 (turn a quarter clockwise to show), so it is shown `height` x `width`.
QByteArray sidewaysJpeg(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::blue);
    QByteArray jpeg;
    {
        QBuffer buffer(&jpeg);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "JPEG");
    }
    // APP1 "Exif": a big-endian TIFF header and one IFD holding Orientation (0x0112) = 6.
    const QByteArray tiff = QByteArray::fromHex("4d4d002a00000008 0001 011200030000000100060000 00000000");
    const QByteArray body = QByteArray("Exif\0\0", 6) + tiff;
    QByteArray segment = QByteArray::fromHex("ffe1");
    segment.append(char((body.size() + 2) >> 8)).append(char((body.size() + 2) & 0xff)).append(body);
    return jpeg.insert(2, segment);  // right after the start-of-image marker
}

}  // namespace

class ViewerTest : public test::WindowTest
{
    Q_OBJECT
private slots:
    void init() { QVERIFY(fresh()); }

    void previewsEveryFormatQtReads()
    {
        for (const char *name : {"a.png", "b.JPEG", "c.jpg", "d.gif", "e.bmp", "f.Png"})
            QVERIFY2(IsPreviewName(name), name);
        for (const char *name : {"notes.txt", "song.mp3", "png", "a.", "", "archive.png.zip"})
            QVERIFY2(!IsPreviewName(name), name);
        const QList<QByteArray> formats = QImageReader::supportedImageFormats();
        for (const char *extension : {"webp", "tiff", "tif", "svg"})
            QCOMPARE(IsPreviewName(std::string("x.") + extension), formats.contains(extension));
    }

    void showsPicturesWholeAndUprightBesideTheList()
    {
        QTemporaryDir tree;
        QImage portrait(300, 600, QImage::Format_RGB32);
        portrait.fill(Qt::red);
        for (const char *name : {"/p1.png", "/p2.png", "/t1.txt", "/t2.txt"})  // t: a picture not by its name
            QVERIFY(portrait.save(tree.path() + QLatin1String(name), "PNG"));
        const QByteArray sideways = sidewaysJpeg(80, 40);
        for (const char *name : {"/s1.jpeg", "/s2.jpeg"}) {
            QFile file(tree.path() + QLatin1String(name));
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(sideways) == sideways.size());
        }
        MainFrm window(prompter, *settings);
        window.resize(1000, 700);
        window.show();
        QVERIFY(test::ScannedFolder(window, tree.path().toStdString()));
        QCOMPARE(window.results()->rowCount(), 6);
        auto *list = window.findChild<QTableView *>(QStringLiteral("RLV"));
        const auto rowNamed = [&](const char *name) {
            return test::ViewRowOf(*window.results(), (tree.path() + QLatin1String(name)).toStdString());
        };

        list->setCurrentIndex(window.results()->index(rowNamed("/p1.png"), 0));
        window.PreviewSelected();
        FileInfoFrm *viewer = window.viewer();
        QVERIFY(viewer && viewer->isVisible());
        auto *pic = viewer->findChild<QLabel *>(QStringLiteral("pic"));
        QTRY_VERIFY(!pic->pixmap().isNull());
        // Beside the list, never over it.
        const auto onScreen = [](QWidget *w) { return QRect(w->mapToGlobal(QPoint()), w->size()); };
        QVERIFY(!onScreen(list).intersects(onScreen(viewer)));
        QVERIFY(viewer->width() > 200);
        // Proportions kept: twice as tall as wide, and as tall as the pane allows.
        QCOMPARE(viewer->pictureSize(), QSize(300, 600));
        QTRY_COMPARE(pic->pixmap().height(), std::min(pic->height(), 600 * pic->width() / 300));
        QVERIFY(qAbs(pic->pixmap().height() - 2 * pic->pixmap().width()) <= 2);

        // A larger preview on demand, closed by Esc; the pane stays.
        viewer->findChild<QToolButton *>(QStringLiteral("larger"))->click();
        QWidget *larger = viewer->larger();
        QVERIFY(larger && larger->isVisible() && larger->isWindow());
        QTRY_VERIFY(larger->findChild<QLabel *>()->pixmap().height() > pic->pixmap().height());
        QTest::keyClick(larger, Qt::Key_Escape);
        QTRY_VERIFY(!viewer->larger());
        QVERIFY(viewer->isVisible());

        // Turned as its orientation says.
        QSignalSpy shown(viewer, &FileInfoFrm::pictureShown);
        list->setCurrentIndex(window.results()->index(rowNamed("/s1.jpeg"), 0));
        window.PreviewSelected();
        QVERIFY(shown.wait(10000));
        QCOMPARE(viewer->pictureSize(), QSize(40, 80));

        // The pane's close button asks; No keeps the viewer on.
        prompter.answers = {false};
        viewer->findChild<QToolButton *>(QStringLiteral("close"))->click();
        QCOMPARE(prompter.asked.value(0), QStringLiteral("Confirm|Do you want to disable picture viewer."));
        QVERIFY(!viewer->isVisible());
        QCOMPARE(window.viewerState(), SettingsStore::kViewerOn);
        window.PreviewSelected();
        QVERIFY(viewer->isVisible());

        // A row that is no picture by name hides the pane when a key is released on it.
        list->setCurrentIndex(window.results()->index(rowNamed("/t1.txt"), 0));
        QTest::keyClick(list, Qt::Key_Down);
        QVERIFY(!viewer->isVisible());
        // Yes switches the viewer off for this run only: the setting stays on for the next start.
        list->setCurrentIndex(window.results()->index(rowNamed("/p1.png"), 0));
        window.PreviewSelected();
        prompter.answers = {true};
        window.viewer()->closeByUser();
        QCOMPARE(window.viewerState(), SettingsStore::kViewerOff);
        QCOMPARE(SettingsStore().Display(), SettingsStore::kViewerOn);
    }
};

GEMINOR_QT_TEST(ViewerTest)
#include "viewer_test.moc"
