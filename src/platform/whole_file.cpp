#include "platform/whole_file.h"

#include <QFileInfo>
#include <QSaveFile>
#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace {

// A temporary file beside the target; a folder of that name cannot be written over.
bool openBeside(QSaveFile& file, std::string& why) {
    if (QFileInfo(file.fileName()).isDir()) {
        why = "it is a folder";
        return false;
    }
    if (file.open(QIODevice::WriteOnly)) return true;
    why = file.errorString().toStdString();
    return false;
}

} // namespace

bool WriteWholeFile(const std::string& path, const std::function<void(QIODevice& out)>& fill, std::string& why) {
    QSaveFile file(QString::fromStdString(path));
    if (!openBeside(file, why)) return false;
    fill(file);
    // A write only fills Qt's buffer: the flush is where a full disk or a size limit shows, and
    // QSaveFile would rename a cut-short file over the old one all the same.
    bool whole = file.error() == QFileDevice::NoError && file.flush() && file.error() == QFileDevice::NoError;
    if (!whole) why = file.errorString().toStdString();
    if (whole && ::fsync(file.handle()) != 0) {
        whole = false;
        why = std::strerror(errno);
    }
    if (!whole) {
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

bool CanCreateFile(const std::string& path, std::string& why) {
    QSaveFile file(QString::fromStdString(path));
    if (!openBeside(file, why)) return false;
    file.cancelWriting();
    return true;
}
