// The text table: which language is in force, the language dialog, and the menu switches.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "lang/label_table.h"
#include "lang/labels.h"
#include "lang/language.h"
#include "platform/system.h"
#include "platform/testing.h"
#include "platform/ui.h"
#include "rq55_uir.h"
#include "shell/main_panel.h"
#include "test_support.h"

namespace {

using testsupport::ProgramDir;
using testsupport::ScopedSettings;

// The dialog is built in code: the list, then "OK", then "Quit".
enum { kDialogList = 2, kDialogOk = 3, kDialogQuit = 4 };

std::string section(const std::string& name, const std::vector<std::string>& texts) {
    std::string out = "[" + name + "]\n";
    for (size_t i = 0; i < texts.size(); ++i) out += strfmt("%04zu = %s\n", i, texts[i].c_str());
    return out;
}

std::string storedLanguage() {
    std::string value;
    if (RegReadString(REGKEY_HKLM, kLanguageKey, kLanguageValue, value) < 0) return "<none>";
    return value;
}

// Answers the language dialog from inside its own event loop; records what it listed.
struct DialogAnswer {
    bool shown = false;
    std::vector<std::string> names;
    std::vector<int> values;
    int initial = 0;
};

void answerDialog(DialogAnswer& seen, int choose) {
    PostDeferredCall([&seen, choose] {
        const int dialog = FindPanelByTitle("Idioma / Language");
        if (dialog <= 0) return;
        seen.shown = true;
        int count = 0;
        GetNumListItems(dialog, kDialogList, count);
        for (int i = 0; i < count; ++i) {
            std::string name;
            int value = 0;
            GetLabelFromIndex(dialog, kDialogList, i, name);
            GetValueFromIndex(dialog, kDialogList, i, value);
            seen.names.push_back(name);
            seen.values.push_back(value);
        }
        GetCtrlVal(dialog, kDialogList, seen.initial);
        if (choose < 0) {
            SimulateCommit(dialog, kDialogQuit);
        } else {
            SetCtrlVal(dialog, kDialogList, choose);
            SimulateCommit(dialog, kDialogOk);
        }
    });
}

class Language : public ::testing::Test {
  protected:
    void SetUp() override { ClearRecordedPopups(); }
    ProgramDir dir;
    ScopedSettings settings;
};

TEST_F(Language, FirstStartListsSectionsInFileOrderAndStoresTheChoice) {
    dir.writeLanguage(section("Uno", {"u0", "u1"}) + section("Dos", {"d0", "d1"}) + section("Tres", {"t0"}));
    DialogAnswer seen;
    answerDialog(seen, 2);
    std::optional<LabelTable> table = Ulvo_AsignarIdioma();
    ASSERT_TRUE(seen.shown);
    EXPECT_EQ(seen.names, (std::vector<std::string>{"Uno", "Dos", "Tres"}));
    EXPECT_EQ(seen.values, (std::vector<int>{1, 2, 3}));
    EXPECT_EQ(seen.initial, 1) << "the list must start on the first language";
    ASSERT_TRUE(table);
    EXPECT_EQ((*table)[1], "d1");
    EXPECT_EQ(storedLanguage(), "2");
}

TEST_F(Language, AnInvalidStoredChoiceAsksAgainAndQuitEndsWithoutATable) {
    dir.writeLanguage(section("A", {"a"}) + section("B", {"b"}) + section("C", {"c"}) + section("D", {"d"}));
    for (const char* stored : {"5", "0", "abc"}) {
        RegWriteString(REGKEY_HKLM, kLanguageKey, kLanguageValue, stored);
        DialogAnswer seen;
        answerDialog(seen, -1);
        EXPECT_FALSE(Ulvo_AsignarIdioma()) << stored;
        EXPECT_TRUE(seen.shown) << stored;
        EXPECT_EQ(storedLanguage(), stored) << "Quit must not store a language";
        EXPECT_EQ(FindPanelByTitle("Idioma / Language"), 0);
    }
    RegWriteString(REGKEY_HKLM, kLanguageKey, kLanguageValue, "4");
    DialogAnswer seen;
    answerDialog(seen, -1);
    std::optional<LabelTable> table = Ulvo_AsignarIdioma();
    EXPECT_FALSE(seen.shown) << "a valid stored language must not ask";
    ASSERT_TRUE(table);
    EXPECT_EQ((*table)[0], "d");
    ProcessSystemEvents(); // lets the unused dialog answer run and find nothing
}

TEST_F(Language, TheTableEndsAtTheFirstMissingOrEmptyText) {
    std::vector<std::string> texts;
    for (int i = 0; i < 100; ++i) texts.push_back("t" + std::to_string(i));
    std::string gapped = section("G", texts) + "0101 = after the gap\n";
    std::string emptied = "[E]\n";
    for (int i = 0; i <= 20; ++i) emptied += i == 12 ? "0012 =\n" : strfmt("%04d = e%d\n", i, i);
    dir.writeLanguage(gapped + emptied + "[N]\n0000 = Línea 1\\nLínea 2\n");

    RegWriteString(REGKEY_HKLM, kLanguageKey, kLanguageValue, "1");
    std::optional<LabelTable> table = Ulvo_AsignarIdioma();
    ASSERT_TRUE(table);
    EXPECT_EQ(table->size(), 101);
    EXPECT_EQ((*table)[99], "t99");
    EXPECT_EQ((*table)[100], "");
    EXPECT_EQ((*table)[101], "") << "a number beyond the table must read as empty";

    RegWriteString(REGKEY_HKLM, kLanguageKey, kLanguageValue, "2");
    table = Ulvo_AsignarIdioma();
    ASSERT_TRUE(table);
    EXPECT_EQ((*table)[11], "e11");
    EXPECT_EQ((*table)[12], "");
    EXPECT_EQ((*table)[13], "") << "the table must end at the empty text";

    RegWriteString(REGKEY_HKLM, kLanguageKey, kLanguageValue, "3");
    table = Ulvo_AsignarIdioma();
    ASSERT_TRUE(table);
    EXPECT_EQ((*table)[0], "Línea 1\nLínea 2");
}

TEST_F(Language, TheShippedFileHoldsEveryTextInBothLanguages) {
    for (const char* language : {"1", "2"}) {
        RegWriteString(REGKEY_HKLM, kLanguageKey, kLanguageValue, language);
        std::optional<LabelTable> table = Ulvo_AsignarIdioma();
        ASSERT_TRUE(table);
        ASSERT_EQ(table->size(), 407) << language;
        for (int n = 0; n < table->size(); ++n) {
            EXPECT_FALSE((*table)[n].empty()) << "text " << n;
        }
        // The communication-error texts are found in messages by substring: none may hold another.
        for (int a = 22; a <= 25; ++a)
            for (int b = 22; b <= 25; ++b) {
                if (a == b) continue;
                EXPECT_EQ((*table)[a].find((*table)[b]), std::string::npos) << a << " holds " << b;
            }
    }
}

class MenuSwitch : public Language {
  protected:
    void startMainPanel() {
        RegWriteString(REGKEY_HKLM, kLanguageKey, kLanguageValue, "1");
        std::optional<LabelTable> table = Ulvo_AsignarIdioma();
        ASSERT_TRUE(table);
        etiqueta = *table;
        panel_principal = LoadPanel(0, "RQ55.uir", PRINCIPAL);
        ASSERT_GT(panel_principal, 0);
        RQ55_Poner_Etiquetas_PRINCIPAL(panel_principal, etiqueta);
        DisplayPanel(panel_principal);
    }
    void TearDown() override {
        DiscardPanel(panel_principal);
        etiqueta = LabelTable{};
    }
    std::string portCaption() {
        std::string caption;
        GetCtrlAttribute(panel_principal, PRINCIPAL_PUERTO, ATTR_LABEL_TEXT, caption);
        return caption;
    }
};

TEST_F(MenuSwitch, SwitchingLanguageRebuildsTheMainPanelInTheNewLanguage) {
    startMainPanel();
    EXPECT_EQ(portCaption(), etiqueta[17]);
    const int old = panel_principal;
    RQ55_Cambia_Idioma_ENG(GetPanelMenuBar(old), MENU_IDIOMA_ENG, nullptr, old);
    EXPECT_NE(panel_principal, old);
    EXPECT_EQ(DisplayPanel(old), UIE_BadPanelHandle) << "the old main panel must be discarded";
    EXPECT_EQ(portCaption(), "COM port (99 = TCP)");
    EXPECT_EQ(storedLanguage(), "2");
    int visible = 0;
    GetPanelAttribute(panel_principal, ATTR_PANEL_VISIBLE, visible);
    EXPECT_EQ(visible, 1);
}

TEST_F(MenuSwitch, AMissingSecondSectionStoresTheChoiceAndKeepsTheOldTexts) {
    dir.writeLanguage(section("Solo", std::vector<std::string>(407, "solo")));
    startMainPanel();
    const int old = panel_principal;
    RQ55_Cambia_Idioma_ENG(GetPanelMenuBar(old), MENU_IDIOMA_ENG, nullptr, old);
    ASSERT_EQ(RecordedPopups().size(), 1u);
    EXPECT_EQ(RecordedPopups()[0].title, "Error");
    EXPECT_EQ(RecordedPopups()[0].text, "Language section not found at : " + dir.path() + "\\language.ini");
    EXPECT_EQ(storedLanguage(), "2");
    EXPECT_NE(panel_principal, old);
    EXPECT_EQ(portCaption(), "solo") << "the rebuilt panel must keep the old language";
}

TEST_F(MenuSwitch, ARebuiltPanelShowsTheLinkAsItIs) {
    startMainPanel();
    const int old = panel_principal;
    SetCtrlVal(old, PRINCIPAL_PUERTO, 99);
    SetCtrlVal(old, PRINCIPAL_IP, "analyser.local");
    SetCtrlVal(old, PRINCIPAL_COMUNICACION, 1);
    SetCtrlAttribute(old, PRINCIPAL_PUERTO, ATTR_DIMMED, 1);
    RQ55_Cambia_Idioma_ENG(GetPanelMenuBar(old), MENU_IDIOMA_ENG, nullptr, old);
    int port = 0, on = 0, dimmed = 0;
    std::string host;
    GetCtrlVal(panel_principal, PRINCIPAL_PUERTO, port);
    GetCtrlVal(panel_principal, PRINCIPAL_IP, host);
    GetCtrlVal(panel_principal, PRINCIPAL_COMUNICACION, on);
    GetCtrlAttribute(panel_principal, PRINCIPAL_IDENTIDAD, ATTR_DIMMED, dimmed);
    EXPECT_EQ(port, 99);
    EXPECT_EQ(host, "analyser.local");
    EXPECT_EQ(on, 1);
    EXPECT_EQ(dimmed, 1);
}

TEST_F(MenuSwitch, ASetFontAsksForARestartAndKeepsTheTable) {
    startMainPanel();
    const std::string before = etiqueta[17];
    RegWriteString(REGKEY_HKLM, kRuntimeFontKey, "DialogFontName", "Arial");
    RQ55_Cambia_Idioma_ENG(GetPanelMenuBar(panel_principal), MENU_IDIOMA_ENG, nullptr, panel_principal);
    ASSERT_EQ(RecordedPopups().size(), 1u);
    EXPECT_EQ(RecordedPopups()[0].title, "Restart");
    EXPECT_EQ(etiqueta[17], before);
    EXPECT_EQ(storedLanguage(), "1");
    EXPECT_EQ(portCaption(), before);
}

} // namespace
