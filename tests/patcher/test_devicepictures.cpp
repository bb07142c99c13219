#include "devicepictures.h"

#include <QTest>

using namespace tollvik;

// The pictures have the sizes of the window's picture boxes and are drawn, not empty.
class TestDevicePictures : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void drawsEachPictureAtItsSize_data()
    {
        QTest::addColumn<DevicePicture>("picture");
        QTest::addColumn<QSize>("size");
        QTest::newRow("GO device") << DevicePicture::GoDevice << QSize(130, 100);
        QTest::newRow("handheld in cradle") << DevicePicture::Handheld << QSize(71, 121);
        QTest::newRow("phone") << DevicePicture::Phone << QSize(71, 121);
    }

    void drawsEachPictureAtItsSize()
    {
        QFETCH(DevicePicture, picture);
        QFETCH(QSize, size);
        const QImage image = drawDeviceImage(picture);
        QCOMPARE(image.size(), size);
        qsizetype opaque = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x)
                opaque += qAlpha(image.pixel(x, y)) == 255 ? 1 : 0;
        }
        // Mostly device, with a transparent surround.
        QVERIFY(opaque > image.width() * image.height() / 3);
        QVERIFY(qAlpha(image.pixel(0, 0)) == 0);
        QCOMPARE(drawDevicePicture(picture).size(), size);
    }
};

QTEST_MAIN(TestDevicePictures)
#include "test_devicepictures.moc"
