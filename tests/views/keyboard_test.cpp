// The keyboard alone reaches everything, and a screen reader can name everything: on every panel of
// the panel file Tab reaches every control once, in reading order (a group before the next), and
// each control that takes the focus has a name; F10 and the arrows reach every menu item; Enter presses the focused button, Escape a
// panel's cancel button; Ctrl+Q and F1 work on the main panel.
#include <QAccessible>
#include <QApplication>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMenu>
#include <QTest>
#include <fstream>
#include <set>

#include "config/config_file.h"
#include "lang/labels.h"
#include "shell/find_analyser.h"
#include "view_fixture.h"

namespace {

using namespace viewtest;

// Every panel of the panel file, and the names of its controls that take the focus.
struct PanelFile {
    QJsonObject panel;
    std::set<std::string> focusable;
};

std::vector<PanelFile> panelFile() {
    QFile file(QString::fromStdString(testsupport::ResourceDir() + "/RQ55.uir"));
    file.open(QIODevice::ReadOnly);
    std::vector<PanelFile> out;
    for (const QJsonValue& pv : QJsonDocument::fromJson(file.readAll()).object()["panels"].toArray()) {
        PanelFile p{pv.toObject(), {}};
        for (const QJsonValue& cv : p.panel["controls"].toArray()) {
            const QJsonObject c = cv.toObject();
            const QString type = c["type"].toString();
            if ((type == "numeric" && !c["indicator"].toBool()) || type == "string" || type == "button" ||
                type == "picturebutton" || type == "switch" || type == "ring" || type == "listbox")
                p.focusable.insert(c["name"].toString().toStdString());
        }
        out.push_back(p);
    }
    return out;
}

// Tab as a reader goes: down one group (a frame) before the next, left to right across groups.
const std::map<std::string, std::vector<std::string>> kTabOrder = {
    {"PRINCIPAL",
     {"PRINCIPAL_PUERTO", "PRINCIPAL_IDENTIDAD", "PRINCIPAL_VELOCIDAD", "PRINCIPAL_MODO", "PRINCIPAL_IP",
      "PRINCIPAL_TCP_PUERTO", "PRINCIPAL_BUSCAR", "PRINCIPAL_COMUNICACION", "PRINCIPAL_PARAMETROS",
      "PRINCIPAL_ENERGIA", "PRINCIPAL_MAXMIN", "PRINCIPAL_DEMANDA", "PRINCIPAL_ESTADO", "PRINCIPAL_CABLEADO", "PRINCIPAL_CONF_EQUIPO",
      "PRINCIPAL_IN_OUT", "PRINCIPAL_VERSION", "PRINCIPAL_INFORME", "PRINCIPAL_SALIR"}},
    {"CONF_EQUIPO",
     {"CONF_EQUIPO_DIRECCION", "CONF_EQUIPO_VELOCIDAD", "CONF_EQUIPO_MODO", "CONF_EQUIPO_RETARDO",
      "CONF_EQUIPO_PROTOCOLO", "CONF_EQUIPO_PERIODO", "CONF_EQUIPO_GUARDAR", "CONF_EQUIPO_PRIMARIO_V",
      "CONF_EQUIPO_SECUNDARIO_V", "CONF_EQUIPO_PRIMARIO_I", "CONF_EQUIPO_SECUNDARIO_I", "CONF_EQUIPO_GUARDAR_2",
      "CONF_EQUIPO_CERRAR"}},
    // Digits typed at once reach the password, the popup's first field.
    {"CONTRASENA_ENER", {"CONTRASENA_ENER_CLAVE", "CONTRASENA_ENER_ACEPTAR", "CONTRASENA_ENER_CANCELAR"}},
    {"IN_OUT",
     {"IN_OUT_MODO_1", "IN_OUT_ESTADO_1", "IN_OUT_SELECTOR_1", "IN_OUT_VALOR_A_1", "IN_OUT_VALOR_B_1",
      "IN_OUT_BLOQUEO_1", "IN_OUT_CONTACTO_1", "IN_OUT_NIVEL_1_1", "IN_OUT_NIVEL_2_1", "IN_OUT_MODO_2",
      "IN_OUT_ESTADO_2", "IN_OUT_SELECTOR_2", "IN_OUT_VALOR_A_2", "IN_OUT_VALOR_B_2", "IN_OUT_BLOQUEO_2",
      "IN_OUT_CONTACTO_2", "IN_OUT_NIVEL_1_2", "IN_OUT_NIVEL_2_2", "IN_OUT_SALIDA_1", "IN_OUT_SALIDA_2",
      "IN_OUT_SALIDA_3", "IN_OUT_SALIDA_4", "IN_OUT_GUARDAR", "IN_OUT_CERRAR"}},
};

// The panels whose captions are written by a labeller, by resource number.
const std::map<int, void (*)(int, const LabelTable&)> kLabellers = {
    {17, RQ55_Poner_Etiquetas_PRINCIPAL}, {3, RQ55_Poner_Etiquetas_TOMADATOS}, {4, RQ55_Poner_Etiquetas_ENERGIA},
    {6, RQ55_Poner_Etiquetas_MAXMIN},     {7, RQ55_Poner_Etiquetas_DEMANDA},   {8, RQ55_Poner_Etiquetas_Estado},
    {12, RQ55_Poner_Etiquetas_Conf_Eq},   {13, RQ55_Poner_Etiquetas_In_Out},   {14, RQ55_Poner_Etiquetas_Out_Anal_1},
    {5, LabelEnergyPasswordPopup},        {11, RQ55_Poner_Etiquetas_Camb_Contr},
    {18, [](int panel, const LabelTable&) { LabelFindDialog(panel); }}};

TEST_F(LiveView, EveryPanelTabsInReadingOrderAndNamesEveryControl) {
    for (const PanelFile& f : panelFile()) {
        const std::string name = f.panel["name"].toString().toStdString();
        SCOPED_TRACE(name);
        const int panel = LoadPanel(0, "RQ55.uir", f.panel["resource"].toInt());
        ASSERT_GT(panel, 0);
        if (const auto labeller = kLabellers.find(f.panel["resource"].toInt()); labeller != kLabellers.end())
            labeller->second(panel, etiqueta);
        DisplayPanel(panel);
        // Controls are numbered in the order of the file, from 2.
        std::map<QWidget*, std::string> controls;
        int id = 2;
        for (const QJsonValue& cv : f.panel["controls"].toArray())
            if (QWidget* w = ControlWidget(panel, id++)) controls[w] = cv.toObject()["name"].toString().toStdString();
        // Qt's focus chain, as Tab walks it, among the panel's own controls: each once, in the
        // order written out above where it is.
        std::vector<std::string> chain;
        QWidget* first = nullptr;
        for (const auto& [w, n] : controls)
            if (f.focusable.count(n) && (!first || (kTabOrder.count(name) && n == kTabOrder.at(name).front()))) first = w;
        for (QWidget* w = first; w && (chain.empty() || w != first); w = w->nextInFocusChain())
            if (controls.count(w) && (w->focusPolicy() & Qt::TabFocus)) chain.push_back(controls[w]);
        if (kTabOrder.count(name)) {
            EXPECT_EQ(chain, kTabOrder.at(name));
        }
        EXPECT_EQ(std::set<std::string>(chain.begin(), chain.end()), f.focusable);
        EXPECT_EQ(chain.size(), f.focusable.size());
        // It opens with the keyboard on its first control: what is typed at once reaches it.
        QApplication::setActiveWindow(ControlWidget(panel, 2)->window());
        QWidget* focused = QApplication::focusWidget();
        EXPECT_TRUE(controls.count(focused) && f.focusable.count(controls[focused])) << "no filler or stray widget has it";
        if (kTabOrder.count(name)) {
            EXPECT_EQ(focused, first);
        }
        for (const auto& [w, n] : controls) {
            const bool focusable = w->focusPolicy() & Qt::TabFocus;
            EXPECT_TRUE(!focusable || !QAccessible::queryAccessibleInterface(w)->text(QAccessible::Name).isEmpty()) << n;
        }
        DiscardPanel(panel);
    }
}

// The keys a user presses, each to whatever has them: an open menu, or the focused widget.
void press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QWidget* to = QApplication::activePopupWidget() ? QApplication::activePopupWidget() : QApplication::focusWidget();
    if (!to) to = QApplication::activeWindow();
    QTest::keyClick(to, key, modifiers);
}

// F10 opens the first menu; Right moves to the next menu, Down to the next item, Enter takes it.
// The main window is made active first, as a window manager does when a popup closes.
void chooseFromMenu(int menu, int item) {
    QApplication::setActiveWindow(ControlWidget(panel_principal, PRINCIPAL_SALIR)->window());
    press(Qt::Key_F10);
    for (int i = 0; i < menu; ++i) press(Qt::Key_Right);
    for (int i = 0; i < item; ++i) press(Qt::Key_Down);
    press(Qt::Key_Return);
}

TEST_F(LiveView, TheKeyboardReachesEveryMenuItemAndTheMainPanelsKeys) {
    startAnalyser();
    ASSERT_TRUE(flipSwitch());
    QApplication::setActiveWindow(ControlWidget(mainPanel, PRINCIPAL_SALIR)->window());
    ControlWidget(mainPanel, PRINCIPAL_PARAMETROS)->setFocus();
    testsupport::TempDir dir;
    chosenFile = dir.file("m.bin");
    chooseFromMenu(2, 0); // Configuration: Save configuration
    EXPECT_TRUE(WaitUntil([&] { return testsupport::ReadFile(chosenFile).size() > 400; }, 10.0));
    analyser.clearRequests();
    chooseFromMenu(2, 1); // Load configuration
    EXPECT_TRUE(WaitUntil([&] { return writes().size() == std::size(kConfigBlocks); }, 10.0));
    const struct {
        int menu, item;
        const char* opens;
    } windows[] = {{1, 0, "Information"}, {1, 1, "Traffic monitor"}, {2, 2, "Report"}, {2, 3, "Change password"}};
    for (const auto& w : windows) {
        SCOPED_TRACE(w.opens);
        chooseFromMenu(w.menu, w.item);
        EXPECT_TRUE(WaitUntil([&] { return FindPanelByTitle(w.opens) > 0; }, 5.0));
        const int opened = FindPanelByTitle(w.opens);
        QApplication::setActiveWindow(ControlWidget(opened, 2)->window());
        press(Qt::Key_Escape); // its cancel or close button
        EXPECT_TRUE(WaitUntil([&] { return FindPanelByTitle(w.opens) == 0 || !onScreen(opened); }, 5.0));
    }
    // Every menu and item carries a letter for Alt of its own, never on the popups' titles.
    for (int menu : {MENU_IDIOMA, MENU_INFO, MENU_CONF}) {
        std::string title;
        GetMenuBarAttribute(GetPanelMenuBar(mainPanel), menu, ATTR_MENU_NAME, title);
        EXPECT_EQ(title.find('&'), std::string::npos) << "the name as the program gave it";
    }
    // Enter presses the button that has the focus; F1 opens the information box.
    ControlWidget(mainPanel, PRINCIPAL_ENERGIA)->setFocus();
    press(Qt::Key_Return);
    EXPECT_TRUE(onScreen(panel_energia));
    SimulateCommit(panel_energia, ENERGIA_CERRAR);
    QApplication::setActiveWindow(ControlWidget(mainPanel, PRINCIPAL_SALIR)->window());
    press(Qt::Key_F1);
    EXPECT_TRUE(WaitUntil([&] { return FindPanelByTitle("Information") > 0; }, 5.0));
}

} // namespace
