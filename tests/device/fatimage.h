#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <memory>

namespace tollvik::test {

// A FAT file system in an image file, mounted through FUSE (fusefat) as a device would be: the
// kernel here needs no vfat driver. The image is made with mkfs.vfat and checked with
// fsck.vfat -n once unmounted.
class FatImage
{
public:
    // Why FAT images cannot be used here (no /dev/fuse, a tool missing), or an empty string.
    [[nodiscard]] static QString unavailable();

    explicit FatImage(qint64 bytes);
    ~FatImage();
    FatImage(const FatImage&) = delete;
    FatImage& operator=(const FatImage&) = delete;

    [[nodiscard]] bool made() const { return m_made; }
    // Mounts writable or read-only; waits until the mount is there.
    [[nodiscard]] bool mount(bool writable = true);
    // Unmounts and waits for fusefat to finish writing the image.
    [[nodiscard]] bool unmount();
    // The output of fsck.vfat -n when it finds a fault, else an empty string. Unmounted only.
    [[nodiscard]] QString fsckFaults() const;

    // The mount point, with no trailing separator; a file path on the device.
    [[nodiscard]] QString root() const { return m_mount; }
    [[nodiscard]] QString file(const QString& relative) const { return m_mount + u'/' + relative; }

private:
    QTemporaryDir m_dir;
    QString m_image;
    QString m_mount;
    std::unique_ptr<QProcess> m_fuse;
    bool m_made = false;
};

} // namespace tollvik::test
