#include "test_support.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "platform/testing.h"
#include "platform/ui.h"

namespace testsupport {

void TypeInto(int panel, int control, const std::string& keys, Leave leave) {
    QWidget* field = ControlWidget(panel, control);
    if (!field) throw std::runtime_error("no such field to type into");
    QTest::mouseClick(field, Qt::LeftButton, {}, field->rect().center() - QPoint(field->width() / 4, 0));
    QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
    if (keys.empty()) QTest::keyClick(field, Qt::Key_Delete); // the field emptied
    QTest::keyClicks(field, QString::fromStdString(keys));
    if (leave == Leave::Tab) QTest::keyClick(field, Qt::Key_Tab);
    if (leave == Leave::Enter) QTest::keyClick(field, Qt::Key_Return);
}

void ClickOn(int panel, int control) {
    QWidget* button = ControlWidget(panel, control);
    if (!button) throw std::runtime_error("no such button to click");
    QTest::mouseClick(button, Qt::LeftButton);
}

void PickInList(int panel, int control, int value) {
    QWidget* list = ControlWidget(panel, control);
    int count = 0, index = 0, at = 0;
    GetNumListItems(panel, control, count);
    while (index < count && (GetValueFromIndex(panel, control, index, at), at != value)) ++index;
    if (!list || index == count) throw std::runtime_error("no such list or item to pick");
    list->setFocus();
    QTest::keyClick(list, Qt::Key_Home);
    for (int i = 0; i < index; ++i) QTest::keyClick(list, Qt::Key_Down);
}

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

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> out;
    std::stringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

std::string ResourceDir() { return QCoreApplication::applicationDirPath().toStdString(); }

std::string Hex(const std::vector<unsigned char>& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (unsigned char b : bytes) text += {digits[b >> 4], digits[b & 15]};
    return text;
}

std::vector<unsigned char> FromHex(std::string hex) {
    std::erase(hex, ' ');
    std::vector<unsigned char> bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes.push_back(static_cast<unsigned char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return bytes;
}

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
    qputenv("RQ55_SETTINGS", QByteArray::fromStdString(dir_.file("settings.ini")));
}

ScopedSettings::~ScopedSettings() { qputenv("RQ55_SETTINGS", QByteArray::fromStdString(previous_)); }

void WireNetwork(sim::Simulator& analyser, const std::string& faults) {
    sim::Wiring wiring;
    std::string error;
    if (!sim::ParseWiring(faults, wiring, error)) throw std::invalid_argument(error);
    const double v[3] = {230, 230, 230}, i[3] = {150, 150, 150}, pf[3] = {0.9, 0.9, 0.9};
    double n[30];
    sim::WiredNetwork(v, i, pf, 50, wiring, n);
    for (int k = 0; k < 30; ++k) analyser.setBlockFloat(6, k, static_cast<float>(n[k]));
}

} // namespace testsupport
