#include "platform/whole_file.h"

#include <QBuffer>
#include <QFileInfo>
#include <QSaveFile>
#include <algorithm>
#include <cerrno>
#include <cstring>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace {

#ifdef _WIN32
int syncToDisk(int fd) { return ::_commit(fd); }
long long writeSome(int fd, const char* data, size_t size) {
    return ::_write(fd, data, static_cast<unsigned>(std::min<size_t>(size, 1u << 30)));
}
bool mayWrite(const QString& path) { return ::_waccess(reinterpret_cast<const wchar_t*>(path.utf16()), 2) == 0; }
#else
int syncToDisk(int fd) { return ::fsync(fd); }
long long writeSome(int fd, const char* data, size_t size) { return ::write(fd, data, size); }
bool mayWrite(const QString& path) { return ::access(path.toLocal8Bit().constData(), W_OK) == 0; }
#endif

// A temporary file beside the target; a folder, a device or a pipe of that name is never written over.
bool openBeside(QSaveFile& file, std::string& why) {
    // Judged by what a link leads to, where the file would be written.
    const QFileInfo target(file.fileName());
    if (target.isDir()) {
        why = "it is a folder, not a regular file";
        return false;
    }
    // A device or a pipe would be replaced by a regular file of that name: left as it is.
    if (target.exists() && !target.isFile()) {
        why = "it is not a regular file (a device or a pipe)";
        return false;
    }
    if (file.open(QIODevice::WriteOnly)) return true;
    // The system's reason where it has one ("Read-only file system", "Permission denied").
    const QFileInfo info(file.fileName());
    const QString probe = info.exists() ? info.filePath() : info.absolutePath();
    why = !mayWrite(probe) ? std::strerror(errno) : file.errorString().toStdString();
    return false;
}

} // namespace

bool WriteWholeFile(const std::string& path, const std::function<void(QIODevice& out)>& fill, std::string& why) {
    // Made whole in memory first, so every write to the file is the program's own and says why it
    // failed (a full disk, a size limit, an I/O error), which a writer buffering on its own does not.
    QByteArray content;
    {
        QBuffer buffer(&content);
        buffer.open(QIODevice::WriteOnly);
        fill(buffer);
    }
    QSaveFile file(QString::fromStdString(path));
    if (!openBeside(file, why)) return false;
    const int fd = file.handle();
    // QSaveFile would rename a cut-short file over the old one all the same: the temporary file
    // is renamed only once every byte is on the disk.
    const bool whole = WriteAll(fd, content.constData(), static_cast<size_t>(content.size()), why);
    if (!whole || syncToDisk(fd) != 0) {
        if (whole) why = std::strerror(errno);
        file.cancelWriting(); // the temporary file goes with `file`
        return false;
    }
    if (file.commit()) return true;
    why = file.errorString().toStdString();
    return false;
}

bool WriteWholeFile(const std::string& path, const std::string& content, std::string& why) {
    return WriteWholeFile(
        path, [&](QIODevice& out) { out.write(content.data(), static_cast<qint64>(content.size())); }, why);
}

bool WriteAll(int fd, const char* data, size_t size, std::string& why) {
    for (size_t done = 0; done < size;) {
        const long long n = writeSome(fd, data + done, size - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            why = n < 0 ? std::strerror(errno) : "nothing could be written";
            return false;
        }
    }
    return true;
}

bool CanCreateFile(const std::string& path, std::string& why) {
    QSaveFile file(QString::fromStdString(path));
    if (!openBeside(file, why)) return false;
    file.cancelWriting();
    return true;
}
