// The main panel's Save and Load of the output configuration, against the simulated analyser.
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "config/config_file.h"
#include "config/config_file_menu.h"
#include "views/view_fixture.h"

namespace {

using viewtest::LiveView;

std::string numbers(int count, int from = 0) {
    std::string text;
    for (int i = 0; i < count; ++i) text += std::to_string((from + i) % 256) + " ";
    return text;
}

class ConfigFileMenu : public LiveView {
  protected:
    void SetUp() override {
        LiveView::SetUp();
        g_exchangePause = 0; // the closing pause adds time, not bytes
        startAnalyser();
        ASSERT_TRUE(flipSwitch());
        analyser.clearRequests();
        ClearRecordedPopups();
    }
    void TearDown() override {
        g_exchangePause = 0.15;
        LiveView::TearDown();
    }
    void save(const std::string& path) {
        chosenFile = path;
        RQ55_Guardar_Conf(0, 0, nullptr, mainPanel);
    }
    void load(const std::string& path) {
        chosenFile = path;
        RQ55_Cargar_Conf(0, 0, nullptr, mainPanel);
    }
    // The nine blocks' registers all 0.
    void clearConfiguration() {
        for (const ConfigBlock& block : kConfigBlocks)
            for (int r = 0; r < block.count; ++r) analyser.setReg(block.start + r, 0);
    }
    std::string saveMessage(int text) const { return etiqueta[288] + "|" + etiqueta[text]; }
    std::string loadMessage(int text) const { return etiqueta[287] + "|" + etiqueta[text]; }
    testsupport::TempDir dir;
};

TEST_F(ConfigFileMenu, SaveWritesTheNineBlocksAsDecimalBytes) {
    clearConfiguration();
    save(dir.file("zero.bin"));
    std::string zeros;
    for (int i = 0; i < kConfigFileNumbers; ++i) zeros += "0 ";
    EXPECT_EQ(testsupport::ReadFile(dir.file("zero.bin")), zeros);
    std::vector<std::string> reads;
    for (const sim::ReceivedRequest& r : analyser.requests())
        reads.push_back(std::to_string(r.function) + "/" + std::to_string(r.start) + "/" +
                        std::to_string(r.count));
    EXPECT_EQ(reads, (std::vector<std::string>{"3/201/5", "3/207/4", "3/211/5", "3/217/4", "3/230/15",
                                               "3/247/15", "3/264/15", "3/281/15", "3/804/7"}));

    analyser.setReg(201, 0x1234);
    analyser.setReg(810, 0x00FF);
    save(dir.file("zero.bin"));
    const std::string text = testsupport::ReadFile(dir.file("zero.bin"));
    EXPECT_EQ(text.substr(0, 6), "18 52 ");
    EXPECT_EQ(text.substr(text.size() - 6), "0 255 ");
    EXPECT_EQ(messages(), (std::vector<std::string>{saveMessage(283), saveMessage(283)}));
}

// A read that fails leaves a file that was there byte for byte, and a new one not at all.
TEST_F(ConfigFileMenu, FailedSaveKeepsWhatWasThere) {
    for (int start : {201, 804}) {
        SCOPED_TRACE(start);
        analyser.clearFaults();
        refuse(3, start);
        dir.write("old.bin", "an earlier backup");
        save(dir.file("old.bin"));
        save(dir.file("new.bin"));
        EXPECT_EQ(testsupport::ReadFile(dir.file("old.bin")), "an earlier backup");
        EXPECT_FALSE(QFileInfo::exists(QString::fromStdString(dir.file("new.bin"))));
        EXPECT_EQ(QDir(QString::fromStdString(dir.path())).entryList(QDir::Files).size(), 1);
        EXPECT_EQ(messages(), (std::vector<std::string>{saveMessage(284), saveMessage(284)}));
        ClearRecordedPopups();
    }
    // A file that cannot be created is found before anything is read.
    analyser.clearRequests();
    save(dir.file("no/such/folder.bin"));
    EXPECT_EQ(analyser.requests().size(), 0u);
    ASSERT_EQ(messages().size(), 1u);
    EXPECT_NE(messages()[0].find("cannot be created"), std::string::npos) << messages()[0];
}

TEST_F(ConfigFileMenu, LoadSendsTheNineWritesFromTheFile) {
    // A saved file, one without its last blank and one with a line end all load the same.
    for (const std::string& text :
         {numbers(170, 7), numbers(170, 7).substr(0, numbers(170, 7).size() - 1), numbers(170, 7) + "\r\n"}) {
        analyser.clearRequests();
        ClearRecordedPopups();
        dir.write("good.bin", text);
        load(dir.file("good.bin"));
        std::vector<std::string> expected;
        for (const ConfigBlock& block : kConfigBlocks) {
            std::string w = std::to_string(block.start);
            for (int r = 0; r < block.count; ++r) {
                const int high = (7 + block.offset + 2 * r) % 256, low = (8 + block.offset + 2 * r) % 256;
                w += "=" + std::to_string(high << 8 | low);
            }
            expected.push_back(w);
        }
        EXPECT_EQ(writes(), expected);
        EXPECT_EQ(messages(), std::vector<std::string>{loadMessage(285)});
    }
}

TEST_F(ConfigFileMenu, LoadStopsAtTheFirstRefusedWrite) {
    refuse(16, 211);
    dir.write("good.bin", numbers(170));
    load(dir.file("good.bin"));
    ASSERT_EQ(writes().size(), 3u);
    EXPECT_EQ(writes()[2].substr(0, 4), "211=");
    EXPECT_EQ(messages(), std::vector<std::string>{
                              "Load configuration|Written only in part: registers 201-205, 207-210 were written, "
                              "registers 211-215, 217-220, 230-244, 247-261, 264-278, 281-295, 804-810 were not."});
}

// A file that is not a whole configuration is refused with its reason, before anything is sent.
TEST_F(ConfigFileMenu, BadFilesAreRefusedAndNothingIsSent) {
    struct Case {
        const char* name;
        std::string content;
        const char* reason;
    };
    const Case cases[] = {
        {"short", numbers(169), "holds 169 numbers"},
        {"long", numbers(171), "more than 170 numbers"},
        {"over", "256 " + numbers(169), "number 1 is 256, over 255"},
        {"negative", numbers(5) + "-1 " + numbers(164), "number 6 is negative"},
        {"letters", numbers(9) + "12a " + numbers(160), "number 10 is not a number: \"12a\""},
        {"blanks", numbers(3) + " " + numbers(167), "two blanks before number 4"},
        {"huge", numbers(170) + std::string(1000, ' '), "1000 bytes or longer"},
        {"empty", "", "no numbers"},
    };
    for (const Case& c : cases) dir.write(c.name, c.content);
    QDir().mkdir(QString::fromStdString(dir.file("folder")));
    std::vector<std::pair<std::string, std::string>> tried;
    for (const Case& c : cases) tried.emplace_back(dir.file(c.name), c.reason);
    tried.emplace_back(dir.file("folder"), "a folder");
    tried.emplace_back(dir.file("missing.bin"), "cannot be opened");
    // A file its owner may not read (root and Windows read it all the same).
    dir.write("locked", numbers(170));
    QFile locked(QString::fromStdString(dir.file("locked")));
    if (locked.setPermissions({}) && !locked.open(QIODevice::ReadOnly)) tried.emplace_back(dir.file("locked"), "cannot be opened");
    for (const auto& [path, reason] : tried) {
        ClearRecordedPopups();
        load(path);
        ASSERT_EQ(messages().size(), 1u) << path;
        EXPECT_EQ(messages()[0].rfind(loadMessage(464) + "\n" + path + ": ", 0), 0u) << messages()[0];
        EXPECT_NE(messages()[0].find(reason), std::string::npos) << messages()[0];
    }
    EXPECT_EQ(analyser.requests().size(), 0u);
}

TEST_F(ConfigFileMenu, CancelledDialogDoesNothing) {
    save("");
    load("");
    EXPECT_EQ(analyser.requests().size(), 0u);
    EXPECT_TRUE(messages().empty());
}

} // namespace
