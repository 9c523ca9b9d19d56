#include "test_support.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace testsupport {

void InstallDefaultResponder() {
    SetPopupResponder([](const PopupRecord& record) {
        PopupAnswer answer;
        answer.result = record.kind == "file" ? 0 : 1;
        return answer;
    });
}

TempDir::TempDir() {
    QTemporaryDir dir(QDir::tempPath() + "/rq55-test-XXXXXX");
    dir.setAutoRemove(false);
    if (!dir.isValid()) throw std::runtime_error("cannot create a temporary directory");
    path_ = dir.path().toStdString();
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

void TempDir::write(const std::string& name, const std::string& content) const {
    std::ofstream out(file(name), std::ios::binary);
    out << content;
}

std::string ResourceDir() { return QCoreApplication::applicationDirPath().toStdString(); }

} // namespace testsupport
