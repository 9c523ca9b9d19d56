#include "test_support.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "platform/testing.h"

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

ProgramDir::ProgramDir() {
    for (const char* name : {"RQ55.uir", "language.ini", "trffc_a.ico", "trffc_b.ico", "trffc_c.ico",
                             "trffc_d.ico", "close3.ico", "open3.ico"})
        std::filesystem::copy_file(ResourceDir() + "/" + name, dir_.file(name));
    SetProjectDirForTesting(dir_.path());
}

ProgramDir::~ProgramDir() { SetProjectDirForTesting(""); }

void ProgramDir::writeLanguage(const std::string& content) const { dir_.write("language.ini", content); }

void ProgramDir::removeLanguage() const { std::filesystem::remove(dir_.file("language.ini")); }

ScopedSettings::ScopedSettings() {
    const char* previous = std::getenv("RQ55_SETTINGS");
    previous_ = previous ? previous : "";
    setenv("RQ55_SETTINGS", dir_.file("settings.ini").c_str(), 1);
}

ScopedSettings::~ScopedSettings() { setenv("RQ55_SETTINGS", previous_.c_str(), 1); }

} // namespace testsupport
