// What the tests of rq55ctl share: the real executable run against the simulated analyser, and
// reading what it printed and wrote.
#pragma once

#include <string>
#include <vector>

#include "sim/simulator.h"

namespace clitest {

struct CtlRun {
    int status = -1;
    std::string out, err;
};

// rq55ctl with these arguments, to its end (a minute at most); its stdout appended to
// `stdoutFile` instead where one is given.
CtlRun ctl(const std::vector<std::string>& args, const std::string& stdoutFile = "");

// The fields of a CSV line.
std::vector<std::string> fields(const std::string& line);

// A simulated analyser with its values still, and the link options that reach it.
struct Analyser {
    explicit Analyser(sim::Transport transport, int address = 1, int model = 59, int baud = 0,
                      std::vector<int> more = {});
    CtlRun run(std::vector<std::string> args) const;
    sim::Simulator sim;
    std::vector<std::string> link;
};

// What a program prints, or "" when it cannot run.
std::string output(const std::string& program, const std::vector<std::string>& args);

struct Word {
    int page;
    double x0, y0, x1, y1;
    std::string text;
};
// The words of a PDF with their boxes, as pdftotext -bbox gives them, and each page's size.
std::vector<Word> wordsOf(const std::string& pdf, double& width, double& height);

} // namespace clitest
