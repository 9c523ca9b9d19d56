// Start-up, the main panel, navigation, the information popup and the clock.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <QProcess>
#include <regex>
#include <string>

#include "lang/label_table.h"
#include "lang/language.h"
#include "panels/navigation.h"
#include "platform/system.h"
#include "platform/testing.h"
#include "platform/ui.h"
#include "rq55_uir.h"
#include "shell/info.h"
#include "shell/main_panel.h"
#include "test_support.h"

namespace {

using testsupport::ProgramDir;
using testsupport::ScopedSettings;

int runMain() {
    char name[] = "rq55";
    char* argv[] = {name, nullptr};
    return RQ55_main(1, argv);
}

bool visible(int panel) {
    int v = 0;
    return GetPanelAttribute(panel, ATTR_PANEL_VISIBLE, v) == 0 && v == 1;
}

class Shell : public ::testing::Test {
  protected:
    void SetUp() override {
        ClearRecordedPopups();
        panel_principal = 0;
    }
    void TearDown() override {
        for (int panel : LoadedPanels()) DiscardPanel(panel);
        etiqueta = LabelTable{};
    }
    void remember(const char* language) {
        RegWriteString(REGKEY_HKLM, kLanguageKey, kLanguageValue, language);
    }
    ProgramDir dir;
    ScopedSettings settings;
};

TEST_F(Shell, WithoutTheLanguageFileTheProgramEndsBeforeShowingAnything) {
    dir.removeLanguage();
    EXPECT_EQ(runMain(), -1);
    ASSERT_EQ(RecordedPopups().size(), 1u);
    EXPECT_EQ(RecordedPopups()[0].title, "Error");
    EXPECT_EQ(RecordedPopups()[0].text, "File not found : " + dir.path() + "/language.ini");
    EXPECT_FALSE(visible(panel_principal));
    EXPECT_FALSE(TrayIconInstalled());
}

TEST_F(Shell, ABrokenPanelFileIsNamedAndTheStartFails) {
    const std::pair<const char*, const char*> cases[] = {
        {"", "cannot be read"},
        {"{\"panels\": [", "is not a valid panel file"},
        {"{\"panels\": []}", "lacks the main panel"},
    };
    for (const auto& [content, reason] : cases) {
        ClearRecordedPopups();
        const std::string file = dir.path() + "/RQ55.uir";
        if (*content)
            std::ofstream(file) << content;
        else
            std::filesystem::remove(file);
        EXPECT_EQ(runMain(), -1) << reason;
        ASSERT_EQ(RecordedPopups().size(), 1u) << reason;
        EXPECT_NE(RecordedPopups()[0].text.find(file), std::string::npos) << RecordedPopups()[0].text;
        EXPECT_NE(RecordedPopups()[0].text.find(reason), std::string::npos) << RecordedPopups()[0].text;
        EXPECT_FALSE(TrayIconInstalled());
    }
}

// rq55 --check-install of a faulty installation: nobody is asked anything, the fault is said on
// stderr and the status is not 0: a panel file that cannot be read, or a language section that
// ends early (the program would run with the other language's texts, but the installation is not
// whole).
TEST(CheckInstall, AFaultyInstallationFailsOnStderrWithoutWaitingOrADisplay) {
    const std::string language = testsupport::ReadFile(testsupport::ResourceDir() + "/language.ini");
    const std::string truncated = language.substr(0, language.find("0300 = ")) + language.substr(language.find("[English]"));
    const struct {
        const char* file;
        std::string content;
        const char* said;
    } cases[] = {
        {"RQ55.uir", "{\"panels\": [", "is not a valid panel file"},
        {"language.ini", truncated, "ends before text 300"},
    };
    for (const auto& c : cases) {
        ProgramDir dir;
        std::filesystem::copy_file(RQ55_PATH, dir.path() + "/rq55");
        std::ofstream(dir.path() + "/" + c.file) << c.content;
        QProcess rq55;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("RQ55_SETTINGS", QString::fromStdString(dir.path() + "/settings.ini"));
        for (const char* display : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) env.remove(display); // a server's
        rq55.setProcessEnvironment(env);
        rq55.start(QString::fromStdString(dir.path() + "/rq55"), {"--check-install"});
        rq55.closeWriteChannel();
        ASSERT_TRUE(rq55.waitForFinished(30000)) << c.file << ": it waited for someone";
        EXPECT_NE(rq55.exitCode(), 0) << c.file;
        EXPECT_NE(rq55.readAllStandardError().toStdString().find(c.said), std::string::npos) << c.file;
    }
}

TEST_F(Shell, ASetFontAsksForARestartAndClearsAllFive) {
    remember("1");
    const char* fonts[] = {"MessageBoxFontName", "AppFontName", "DialogFontName", "MenuFontName",
                           "EditorFontName"};
    for (const char* font : fonts) RegWriteString(REGKEY_HKLM, kRuntimeFontKey, font, "Arial");
    EXPECT_EQ(runMain(), -1);
    ASSERT_EQ(RecordedPopups().size(), 1u);
    EXPECT_EQ(RecordedPopups()[0].title, "Restart");
    EXPECT_EQ(RecordedPopups()[0].text, "You must restart your software\nto apply language configuration");
    for (const char* font : fonts) {
        std::string value = "?";
        RegReadString(REGKEY_HKLM, kRuntimeFontKey, font, value);
        EXPECT_EQ(value, "") << font;
    }
    EXPECT_FALSE(visible(panel_principal));
}

TEST_F(Shell, TheMainPanelComesUpLabelledAndTheExitButtonOrCloseBoxEndsTheProgram) {
    remember("2");
    bool checked = false;
    PostDeferredCall([&checked] {
        checked = true;
        EXPECT_TRUE(visible(panel_principal));
        std::string title, caption;
        GetPanelAttribute(panel_principal, ATTR_TITLE, title);
        EXPECT_EQ(title, "RQ55");
        const std::pair<int, int> captions[] = {
            {PRINCIPAL_PUERTO, 17},      {PRINCIPAL_IDENTIDAD, 7},   {PRINCIPAL_IP, 280},
            {PRINCIPAL_TCP_PUERTO, 393}, {PRINCIPAL_VELOCIDAD, 225}, {PRINCIPAL_MODO, 406},
            {PRINCIPAL_PARAMETROS, 3},   {PRINCIPAL_ENERGIA, 15},    {PRINCIPAL_ESTADO, 300},
            {PRINCIPAL_CONF_EQUIPO, 1},  {PRINCIPAL_IN_OUT, 159}};
        for (auto [control, text] : captions) {
            GetCtrlAttribute(panel_principal, control, ATTR_LABEL_TEXT, caption);
            EXPECT_EQ(caption, etiqueta[text]) << "text " << text;
            int dimmed = -1;
            GetCtrlAttribute(panel_principal, control, ATTR_DIMMED, dimmed);
            EXPECT_EQ(dimmed, 0) << "text " << text;
        }
        std::string menu;
        GetMenuBarAttribute(GetPanelMenuBar(panel_principal), MENU_CONF_GUARDAR, ATTR_ITEM_NAME, menu);
        EXPECT_EQ(menu, etiqueta[288]);
        int on = 1;
        GetCtrlVal(panel_principal, PRINCIPAL_COMUNICACION, on);
        EXPECT_EQ(on, 0);
        EXPECT_TRUE(TrayIconInstalled());
        EXPECT_EQ(CurrentTrayIconImage(), "trffc_a.ico");
        SimulateCommit(panel_principal, PRINCIPAL_SALIR);
    });
    EXPECT_EQ(runMain(), 0);
    EXPECT_TRUE(checked);
    EXPECT_EQ(etiqueta[17], "COM port (99 = TCP)");
    EXPECT_FALSE(TrayIconInstalled()) << "the icon must go when the event loop ends";
    // The close box of the main panel ends it too.
    PostDeferredCall([] { SimulateCloseBox(panel_principal); });
    EXPECT_EQ(runMain(), 0);
}

class Navigation : public Shell {
  protected:
    void SetUp() override {
        Shell::SetUp();
        remember("2");
        etiqueta = *Ulvo_AsignarIdioma();
        panel_principal = LoadPanel(0, "RQ55.uir", PRINCIPAL);
        DisplayPanel(panel_principal);
    }
};

TEST_F(Navigation, APanelMissingFromTheFileLeavesTheCallerOnScreen) {
    EXPECT_LT(OpenView(panel_principal, panel_retorno, 999, nullptr, {}, PanelKind::LiveView), 0);
    EXPECT_TRUE(visible(panel_principal));
    ASSERT_EQ(RecordedPopups().size(), 1u);
    EXPECT_EQ(RecordedPopups()[0].title, "RQ55.uir");
}

TEST_F(Navigation, TheInformationPopupShowsTheProductAndClosesBackToTheMainPanel) {
    RQ55_info(GetPanelMenuBar(panel_principal), MENU_INFO_ACERCA, nullptr, panel_principal);
    ASSERT_EQ(RecordedPopups().size(), 1u);
    const PopupRecord& info = RecordedPopups()[0];
    EXPECT_EQ(info.kind, "panel");
    EXPECT_EQ(info.title, etiqueta[18]);
    EXPECT_EQ(info.text.substr(0, 5), "RQ55\n");
    EXPECT_NE(info.text.find("Version " RQ55_VERSION " ("), std::string::npos) << info.text;
    EXPECT_FALSE(visible(panel_principal));
    SimulateCommit(info.panel, INFO_CERRAR);
    EXPECT_TRUE(visible(panel_principal));
    EXPECT_EQ(DisplayPanel(info.panel), UIE_BadPanelHandle);
}

TEST_F(Navigation, TheClockShowsTheDateAndA24HourTime) {
    const int view = OpenView(panel_principal, panel_retorno, ESTADO, nullptr, {}, PanelKind::LiveView);
    SetCtrlAttribute(view, ESTADO_TIMER_HORA, ATTR_ENABLED, 1);
    SimulateTimerTick(view, ESTADO_TIMER_HORA);
    std::string date, time;
    GetCtrlVal(view, ESTADO_FECHA, date);
    GetCtrlVal(view, ESTADO_HORA, time);
    EXPECT_TRUE(std::regex_match(time, std::regex(R"(([01]\d|2[0-3]):[0-5]\d:[0-5]\d)"))) << time;
    double now = 0;
    GetCurrentDateTime(&now);
    EXPECT_EQ(date, FormatDateTimeString(now, "%x"));
    int enabled = 0;
    GetCtrlAttribute(view, ESTADO_TIMER_HORA, ATTR_ENABLED, enabled);
    EXPECT_EQ(enabled, 1) << "the clock must run on after its tick";
    CloseView(view, panel_retorno);
}

} // namespace
