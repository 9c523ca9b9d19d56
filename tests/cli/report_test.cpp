// rq55ctl report: the commissioning report as a user makes it from the command line.
#include <gtest/gtest.h>

#include <map>
#include <QProcess>
#include <QRegularExpression>
#include <algorithm>
#include <csignal>
#include <cstdlib>

#include "cli_support.h"
#include "test_support.h"

namespace {

using namespace clitest;
using testsupport::Lines;
using testsupport::ReadFile;

// The commissioning report of a model-57 analyser that refuses its maxima and minima, in each
// language: its words and dates in that language, both relays and the two analog outputs the
// model has, the block it refused as not read (status 1); every word within the page's margins and
// none over another; each page numbered with the serial number; progress counted against the
// final number of blocks; nothing on stderr but the tool's own lines.
TEST(CliReport, InEachLanguageWithEveryPageNumbered) {
    Analyser a(sim::Transport::RtuOverTcp, 1, 57);
    a.sim.addFault({.kind = sim::FaultRule::Kind::Exception, .function = 3, .start = 130});
    testsupport::TempDir dir;
    const struct {
        const char* language;
        std::vector<std::string> seen;
        const char* page;
    } languages[] = {
        {"2", {"Not read:", "Analog output 2", "Relay 1", "Relay 2", "RTU over TCP", "December"}, "Page"},
        {"1", {"No leído:", "Salida analógica 2", "Relé 1", "Relé 2", "RTU sobre TCP", "diciembre"}, "Página"}};
    for (const auto& l : languages) {
        SCOPED_TRACE(l.language);
        dir.write("settings.ini", std::string("[SOFTWARE]\nRQ55\\Language\\Language=") + l.language + "\n");
        setenv("RQ55_SETTINGS", dir.file("settings.ini").c_str(), 1);
        const CtlRun pdf = a.run({"report", dir.file("r.pdf"), "--title", "Plant 4 / J. Smith"});
        const CtlRun html = a.run({"report", dir.file("r.html")});
        EXPECT_EQ(pdf.status, 1) << "a block was not read: " << pdf.err;
        EXPECT_EQ(html.status, 1);
        for (const std::string& line : Lines(pdf.err)) EXPECT_EQ(line.rfind("rq55ctl: ", 0), 0u) << line;
        EXPECT_NE(pdf.err.find("reading config (1 of 8)"), std::string::npos) << pdf.err;
        EXPECT_NE(pdf.err.find("reading demand (8 of 8)"), std::string::npos) << pdf.err;
        const std::string text = output("pdftotext", {dir.file("r.pdf"), "-"});
        for (const std::string& document : {text, ReadFile(dir.file("r.html"))}) {
            for (const std::string& seen : l.seen) EXPECT_NE(document.find(seen), std::string::npos) << seen;
            EXPECT_EQ(document.find(l.seen[1].substr(0, l.seen[1].size() - 1) + "3"), std::string::npos)
                << "model 57 has two outputs";
        }
        EXPECT_NE(text.find("Plant 4 / J. Smith"), std::string::npos);

        double width = 0, height = 0;
        const std::vector<Word> words = wordsOf(dir.file("r.pdf"), width, height);
        ASSERT_FALSE(words.empty());
        const double margin = 14 * 72 / 25.4; // of the 16-18 mm the report keeps, a little less
        std::map<int, int> numbered;
        for (size_t i = 0; i < words.size(); ++i) {
            const Word& w = words[i];
            EXPECT_TRUE(w.x0 >= margin && w.x1 <= width - margin && w.y0 >= margin && w.y1 <= height - margin)
                << w.text << " on page " << w.page;
            for (size_t j = i + 1; j < words.size() && words[j].page == w.page; ++j) {
                const Word& o = words[j];
                EXPECT_FALSE(w.x0 < o.x1 - 0.5 && o.x0 < w.x1 - 0.5 && w.y0 < o.y1 - 0.5 && o.y0 < w.y1 - 0.5)
                    << "\"" << w.text << "\" over \"" << o.text << "\" on page " << w.page;
            }
            // "Page N of M", at the foot of the page, whose last word is the serial number.
            if (w.text == l.page && i + 3 < words.size() && words[i + 1].text == std::to_string(w.page))
                numbered[w.page] = words[i + 3].text == std::to_string(words.back().page);
            if (i + 1 == words.size() || words[i + 1].page != w.page) {
                EXPECT_EQ(w.text, "AB1234") << "page " << w.page;
            }
        }
        for (int p = 1; p <= words.back().page; ++p) EXPECT_EQ(numbered[p], 1) << "page " << p << " of M";
    }
    dir.write("settings.ini", "[SOFTWARE]\nRQ55\\Language\\Language=2\n");

    // Neither a link that cannot be opened nor an address that does not answer writes a file: one
    // there already stays as it was.
    dir.write("kept.pdf", "as it was");
    EXPECT_EQ(ctl({"report", dir.file("kept.pdf"), "--tcp", "127.0.0.1:1"}).status, 1);
    const CtlRun silent = a.run({"report", dir.file("kept.pdf"), "--address", "9", "--timeout", "200"});
    EXPECT_EQ(silent.status, 1);
    EXPECT_NE(silent.err.find("did not answer"), std::string::npos) << silent.err;
    EXPECT_EQ(ReadFile(dir.file("kept.pdf")), "as it was");
    unsetenv("RQ55_SETTINGS");
}

} // namespace
