// The text table: which language is in force, the language dialog, and the menu switches.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>

#include <string>
#include <tuple>
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
    std::vector<std::string> items; // "name=value"
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
            seen.items.push_back(name + "=" + std::to_string(value));
        }
        GetCtrlVal(dialog, kDialogList, seen.initial);
        if (choose < 0) {
            SimulateCommit(dialog, kDialogQuit);
        } else {
            // From the keyboard: Escape does nothing (the dialog has no cancel), Enter takes the
            // language the arrows chose.
            // The list has the keyboard as the dialog opens.
            QApplication::setActiveWindow(ControlWidget(dialog, kDialogList)->window());
            EXPECT_EQ(QApplication::focusWidget(), ControlWidget(dialog, kDialogList));
            testsupport::PickInList(dialog, kDialogList, choose);
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        }
    });
}

class Language : public ::testing::Test {
  protected:
    void SetUp() override { ClearRecordedPopups(); }
    // The table of the language stored as `choice`.
    static std::optional<LabelTable> tableOf(const char* choice) {
        RegWriteString(REGKEY_HKLM, kLanguageKey, kLanguageValue, choice);
        return Ulvo_AsignarIdioma();
    }
    ProgramDir dir;
    ScopedSettings settings;
};

TEST_F(Language, FirstStartListsSectionsInFileOrderAndStoresTheChoice) {
    dir.writeLanguage(section("Uno", {"u0", "u1"}) + section("Dos", {"d0", "d1"}) + section("Tres", {"t0"}));
    DialogAnswer seen;
    answerDialog(seen, 2);
    std::optional<LabelTable> table = Ulvo_AsignarIdioma();
    ASSERT_TRUE(seen.shown);
    EXPECT_EQ(seen.items, (std::vector<std::string>{"Uno=1", "Dos=2", "Tres=3"}));
    EXPECT_EQ(seen.initial, 1) << "the list must start on the first language";
    ASSERT_TRUE(table);
    EXPECT_EQ((*table)[1], "d1");
    EXPECT_EQ(storedLanguage(), "2");
}

TEST_F(Language, AnInvalidStoredChoiceAsksAgainAndQuitEndsWithoutATable) {
    dir.writeLanguage(section("A", {"a"}) + section("B", {"b"}) + section("C", {"c"}) + section("D", {"d"}));
    for (const char* stored : {"5", "0", "abc"}) {
        DialogAnswer seen;
        answerDialog(seen, -1);
        EXPECT_FALSE(tableOf(stored)) << stored;
        EXPECT_TRUE(seen.shown) << stored;
        EXPECT_EQ(storedLanguage(), stored) << "Quit must not store a language";
        EXPECT_EQ(FindPanelByTitle("Idioma / Language"), 0);
    }
    DialogAnswer seen;
    answerDialog(seen, -1);
    std::optional<LabelTable> table = tableOf("4");
    EXPECT_FALSE(seen.shown) << "a valid stored language must not ask";
    ASSERT_TRUE(table);
    EXPECT_EQ((*table)[0], "d");
    ProcessSystemEvents(); // lets the unused dialog answer run and find nothing
}

// A section ends at its first missing or empty text; the rest is taken from another section, or is
// "text N" where that lacks it too, never a blank caption, and the operator is told in both languages.
TEST_F(Language, ASectionThatEndsEarlyIsCompletedAndSaysSo) {
    std::vector<std::string> texts;
    for (int i = 0; i < 100; ++i) texts.push_back(std::string(1, 't').append(std::to_string(i)));
    std::string file = section("G", texts) + "0101 = after the gap\n[E]\n";
    for (int i = 0; i <= 20; ++i) file += i == 12 ? "0012 =\n" : strfmt("%04d = e%d\n", i, i);
    dir.writeLanguage(file + "[N]\n0000 = Línea 1\\nLínea 2\n");

    ClearRecordedPopups();
    const auto gapped = tableOf("1"), emptied = tableOf("2"), twoLines = tableOf("3");
    ASSERT_TRUE(gapped && emptied && twoLines);
    EXPECT_EQ(gapped->size(), kTextCount);
    EXPECT_EQ(std::tuple((*gapped)[99], (*gapped)[100], (*gapped)[101]), std::tuple("t99", "text 100", "text 101"));
    EXPECT_EQ(std::tuple((*emptied)[11], (*emptied)[12], (*emptied)[13]), std::tuple("e11", "t12", "t13"));
    EXPECT_EQ((*twoLines)[0], "Línea 1\nLínea 2");
    ASSERT_EQ(RecordedPopups().size(), 3u);
    EXPECT_NE(RecordedPopups()[0].text.find("the section \"G\" ends before text 100; the missing texts are taken "
                                            "from \"E\"."),
              std::string::npos)
        << RecordedPopups()[0].text;
    EXPECT_NE(RecordedPopups()[1].text.find("la sección \"E\" termina antes del texto 12"), std::string::npos);
}

TEST_F(Language, TheShippedFileHoldsEveryTextInBothLanguages) {
    for (const char* language : {"1", "2"}) {
        const std::optional<LabelTable> table = tableOf(language);
        ASSERT_TRUE(table);
        ASSERT_EQ(table->size(), kTextCount) << language;
        for (int n = 0; n < table->size(); ++n) EXPECT_FALSE((*table)[n].empty()) << "text " << n;
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
        const std::optional<LabelTable> table = tableOf("1");
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

// The rebuilt panel speaks the new language and shows the link as it was.
// The language menu's ticks, Spanish then English.
std::pair<int, int> languageTicks() {
    const int bar = GetPanelMenuBar(panel_principal);
    int es = -1, en = -1;
    GetMenuBarAttribute(bar, MENU_IDIOMA_ESP, ATTR_CHECKED, es);
    GetMenuBarAttribute(bar, MENU_IDIOMA_ENG, ATTR_CHECKED, en);
    return {es, en};
}

TEST_F(MenuSwitch, SwitchingLanguageRebuildsTheMainPanelInTheNewLanguage) {
    startMainPanel();
    EXPECT_EQ(portCaption(), etiqueta[17]);
    const int old = panel_principal;
    SetCtrlVal(old, PRINCIPAL_PUERTO, 99);
    SetCtrlVal(old, PRINCIPAL_IP, "analyser.local");
    SetCtrlVal(old, PRINCIPAL_COMUNICACION, 1);
    SetCtrlAttribute(old, PRINCIPAL_PUERTO, ATTR_DIMMED, 1);
    RQ55_Cambia_Idioma_ENG(GetPanelMenuBar(old), MENU_IDIOMA_ENG, nullptr, old);
    EXPECT_NE(panel_principal, old);
    EXPECT_EQ(DisplayPanel(old), UIE_BadPanelHandle) << "the old main panel must be discarded";
    EXPECT_EQ(portCaption(), "COM port (99 = TCP)");
    EXPECT_EQ(storedLanguage(), "2");
    EXPECT_EQ(languageTicks(), std::pair(0, 1));
    int visible = 0, port = 0, on = 0, dimmed = 0;
    std::string host;
    GetPanelAttribute(panel_principal, ATTR_PANEL_VISIBLE, visible);
    GetCtrlVal(panel_principal, PRINCIPAL_PUERTO, port);
    GetCtrlVal(panel_principal, PRINCIPAL_IP, host);
    GetCtrlVal(panel_principal, PRINCIPAL_COMUNICACION, on);
    GetCtrlAttribute(panel_principal, PRINCIPAL_IDENTIDAD, ATTR_DIMMED, dimmed);
    EXPECT_EQ(std::tuple(visible, port, host, on, dimmed), std::tuple(1, 99, "analyser.local", 1, 1));
}

TEST_F(MenuSwitch, AMissingSecondSectionStoresTheChoiceAndKeepsTheOldTexts) {
    dir.writeLanguage(section("Solo", std::vector<std::string>(kTextCount, "solo")));
    startMainPanel();
    const int old = panel_principal;
    RQ55_Cambia_Idioma_ENG(GetPanelMenuBar(old), MENU_IDIOMA_ENG, nullptr, old);
    ASSERT_EQ(RecordedPopups().size(), 1u);
    EXPECT_EQ(RecordedPopups()[0].title, "Error");
    EXPECT_EQ(RecordedPopups()[0].text, "Language section not found at : " + dir.path() + "\\language.ini");
    EXPECT_EQ(storedLanguage(), "2");
    EXPECT_NE(panel_principal, old);
    EXPECT_EQ(portCaption(), "solo") << "the rebuilt panel must keep the old language";
    EXPECT_EQ(languageTicks(), std::pair(1, 0)) << "the tick stays with the texts in force";
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
