#include "serve/poll/state_dir.h"

#include <sys/stat.h>

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <cerrno>
#include <cstring>

#include "platform/whole_file.h"

bool StateDir::open(const std::string& folder, std::string& why) {
    struct stat s {};
    if (::stat(folder.c_str(), &s) != 0 || !S_ISDIR(s.st_mode)) {
        why = "--state-dir " + folder + ": " + (S_ISDIR(s.st_mode) || s.st_mode == 0 ? std::strerror(errno) : "not a folder");
        return false;
    }
    file_ = folder + "/serials.json";
    QFile file(QString::fromStdString(file_));
    if (!file.exists()) return true;
    if (!file.open(QIODevice::ReadOnly)) {
        why = file_ + ": " + file.errorString().toStdString();
        return false;
    }
    // A file that is not what serve wrote is read as far as it goes: nothing remembered is no harm.
    const QJsonObject all = QJsonDocument::fromJson(file.read(1 << 20)).object();
    for (auto it = all.begin(); it != all.end(); ++it) {
        bool number = false;
        const int address = it.key().toInt(&number);
        if (number && address >= 1 && address <= 247 && it.value().isString())
            serials_[address] = it.value().toString().toStdString();
    }
    return true;
}

bool StateDir::remember(int address, const std::string& serial, std::string& why) {
    if (file_.empty() || serials_[address] == serial) return true;
    serials_[address] = serial;
    QJsonObject all;
    for (const auto& [a, s] : serials_)
        if (!s.empty()) all[QString::number(a)] = QString::fromStdString(s);
    return WriteWholeFile(file_, QJsonDocument(all).toJson().toStdString(), why);
}
