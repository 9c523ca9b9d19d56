#include "views/recording.h"

#include <QFile>

#include "platform/system.h"

Recording::Recording() = default;
Recording::~Recording() { stop(); }

bool Recording::start(const std::string& path, std::string& why) {
    stop();
    // Unbuffered: every row goes straight to the system, without a buffer of the program's own
    // that could write a piece of it later.
    auto file = std::make_unique<QFile>(QString::fromStdString(path));
    if (!file->open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
        why = file->errorString().toStdString();
        return false;
    }
    file_ = std::move(file);
    path_ = path;
    return true;
}

bool Recording::append(int address, const std::vector<NamedValue>& values, std::string& why) {
    if (!file_) return false;
    const qint64 size = file_->size();
    std::string lines = size == 0 ? CsvHeader(values) : "";
    lines += CsvRow(IsoTimeNow(), address, values);
    if (file_->write(lines.data(), static_cast<qint64>(lines.size())) == static_cast<qint64>(lines.size()))
        return true;
    why = file_->errorString().toStdString();
    // The part of the row that went in goes again: the file holds whole rows only.
    if (!file_->resize(size)) why += "; cutting the row off: " + file_->errorString().toStdString();
    stop();
    return false;
}

void Recording::stop() { file_.reset(); }
