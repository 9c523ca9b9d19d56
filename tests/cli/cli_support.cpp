#include "cli_support.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <QRegularExpression>
#include <sstream>

#include "test_support.h"

namespace clitest {

namespace {

QStringList qargs(const std::vector<std::string>& args) {
    QStringList list;
    for (const std::string& a : args) list << QString::fromStdString(a);
    return list;
}

} // namespace

CtlRun ctl(const std::vector<std::string>& args, const std::string& stdoutFile) {
    QProcess process;
    if (!stdoutFile.empty()) process.setStandardOutputFile(QString::fromStdString(stdoutFile), QIODevice::Append);
    process.start(RQ55CTL_PATH, qargs(args));
    process.waitForFinished(60000);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            process.readAllStandardOutput().toStdString(), process.readAllStandardError().toStdString()};
}

std::vector<std::string> fields(const std::string& line) {
    std::vector<std::string> out;
    std::stringstream in(line);
    for (std::string f; std::getline(in, f, ',');) out.push_back(f);
    return out;
}

Analyser::Analyser(sim::Transport transport, int address, int model, int baud, std::vector<int> more) {
    std::string error;
    const bool started = sim.start({.transport = transport, .deviceAddress = address, .modelCode = model,
                                    .moving = false, .seed = 5, .moreAddresses = more, .lineBaud = baud},
                                   &error);
    EXPECT_TRUE(started) << error;
    if (transport == sim::Transport::Pty)
        link = {"--serial", sim.devicePath()};
    else
        link = {"--tcp", "127.0.0.1:" + std::to_string(sim.tcpPort())};
    if (transport == sim::Transport::ModbusTcp) link.push_back("--modbus-tcp");
}

CtlRun Analyser::run(std::vector<std::string> args) const {
    args.insert(args.end(), link.begin(), link.end());
    return ctl(args);
}

std::string output(const std::string& program, const std::vector<std::string>& args) {
    QProcess p;
    p.start(QString::fromStdString(program), qargs(args));
    p.waitForFinished(60000);
    return p.readAllStandardOutput().toStdString();
}

std::vector<Word> wordsOf(const std::string& pdf, double& width, double& height) {
    const std::string xml = output("pdftotext", {"-bbox", pdf, "-"});
    std::vector<Word> words;
    int page = 0;
    const QRegularExpression pageTag(R"re(<page width="([\d.]+)" height="([\d.]+)">)re");
    const QRegularExpression wordTag(
        R"re(<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="([\d.]+)">([^<]*)</word>)re");
    for (const std::string& line : testsupport::Lines(xml)) {
        const QString l = QString::fromStdString(line);
        if (const auto m = pageTag.match(l); m.hasMatch()) {
            ++page;
            width = m.captured(1).toDouble(), height = m.captured(2).toDouble();
        } else if (const auto w = wordTag.match(l); w.hasMatch()) {
            words.push_back({page, w.captured(1).toDouble(), w.captured(2).toDouble(), w.captured(3).toDouble(),
                             w.captured(4).toDouble(), w.captured(5).toStdString()});
        }
    }
    return words;
}

} // namespace clitest
