// Loading panels from RQ55.uir, and panels and controls built in code.
//
// RQ55.uir is a JSON document:
//   { "panels": [ { "resource": 17, "name": "PRINCIPAL", "title": "RQ55", "width": 700, "height": 460,
//                   "close_control": "PRINCIPAL_SALIR", "menubar": [ menus ], "controls": [ controls ] } ] }
// and, optionally, "default_control" (pressed by Enter in a field) and "cancel_control" (pressed by
// Escape). A menu is { "name", "label", "items": [ { "name", "label", "callback", "dimmed",
// "shortcut" } ] }.
// A control is { "name", "type", "top", "left", "width", "height", ... } with type one of numeric,
// string, textmsg, textbox, button, picturebutton, switch, ring, listbox, timer, graph, gauge,
// decoration, and the optional keys label, label_position ("top" or "left"), value, data ("int",
// "unsigned", "double"), min, max, precision, indicator, items ([{ "label", "value" }]), callback,
// interval, enabled, on_text, off_text, image, dimmed, visible, tooltip, font_size, bold, color
// ("#rrggbb"), background (text messages), align ("left", "center", "right"), wrap, max_length, ascii (text
// inputs: printable ASCII only), shortcut (a key that presses it, "Ctrl+Q"), announce (a text message
// a screen reader says when it changes), accessible_name (for a field without a caption), x_label,
// y_label, xmin, xmax, ymin, ymax. Control numbers follow the order of the list (see uirgen).
#include <QApplication>
#include <QFile>
#include <QFontMetrics>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QScrollArea>
#include <cstdio>

#include "platform/control_builders.h"
#include "platform/panel_table.h"
#include "platform/widgets.h"

using namespace platform;

namespace {

int g_nextPanel = 1;

// Reads RQ55.uir and finds the panel's description; a negative code when there is none.
int readPanelDefinition(const std::string& file, int resourceId, QJsonObject& def) {
    QFile f(resolvePath(file));
    if (!f.open(QIODevice::ReadOnly)) return UIE_ResourceFileNotFound;
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(f.readAll(), &error);
    if (doc.isNull()) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(f.fileName()), qPrintable(error.errorString()));
        return UIE_BadResourceFile;
    }
    for (const QJsonValue& pv : doc.object().value("panels").toArray())
        if (pv.toObject().value("resource").toInt() == resourceId) def = pv.toObject();
    return def.isEmpty() ? UIE_NoSuchPanelResource : 0;
}

// Every type and callback must exist before anything is built, so a typo fails the load as a whole.
int checkPanelDefinition(const QJsonObject& def) {
    for (const QJsonValue& cv : def.value("controls").toArray()) {
        const QJsonObject o = cv.toObject();
        const std::string cb = ss(o.value("callback").toString());
        if (ControlTypeFromName(o.value("type").toString()) == 0) {
            std::fprintf(stderr, "RQ55.uir: control %s has an unknown type\n",
                         qPrintable(o.value("name").toString()));
            return UIE_BadResourceFile;
        }
        if (!cb.empty() && !FindCallback(cb)) {
            std::fprintf(stderr, "RQ55.uir: unknown callback %s\n", cb.c_str());
            return UIE_UnknownCallback;
        }
    }
    for (const QJsonValue& mv : def.value("menubar").toArray())
        for (const QJsonValue& iv : mv.toObject().value("items").toArray()) {
            const std::string cb = ss(iv.toObject().value("callback").toString());
            if (!cb.empty() && !FindMenuCallback(cb)) {
                std::fprintf(stderr, "RQ55.uir: unknown menu callback %s\n", cb.c_str());
                return UIE_UnknownCallback;
            }
        }
    return 0;
}

} // namespace

Panel* platform::NewPanelShell(const QString& title, int width, int height) {
    auto p = std::make_unique<Panel>();
    p->handle = g_nextPanel++;
    const int handle = p->handle;
    p->window = new PanelWindow([handle]() {
        Panel* panel = findPanel(handle);
        if (panel && panel->closeControl) DispatchCommit(handle, panel->closeControl);
    });
    p->window->setWindowTitle(title);
    p->scroll = new QScrollArea(p->window);
    p->scroll->setFrameShape(QFrame::NoFrame);
    // The scroll area is no control: the keyboard goes straight to the panel's first field.
    p->scroll->setFocusPolicy(Qt::NoFocus);
    p->content = new QWidget;
    p->content->resize(width, height);
    p->scroll->setWidget(p->content);
    FitPanelWindow(*p);
    Panel* raw = p.get();
    g_panels[handle] = std::move(p);
    return raw;
}

int LoadPanel(int /*parent*/, const std::string& file, int resourceId) {
    QJsonObject def;
    if (const int r = readPanelDefinition(file, resourceId, def); r < 0) return r;
    if (const int r = checkPanelDefinition(def); r < 0) return r;

    Panel* p = NewPanelShell(def.value("title").toString(), def.value("width").toInt(400),
                             def.value("height").toInt(300));
    p->resource = resourceId;
    int number = 2;
    for (const QJsonValue& cv : def.value("controls").toArray()) {
        const QJsonObject o = cv.toObject();
        Control& c = p->controls[number];
        c.id = number++;
        c.name = ss(o.value("name").toString());
        c.type = ControlTypeFromName(o.value("type").toString());
        const std::string cb = ss(o.value("callback").toString());
        if (!cb.empty()) c.callback = FindCallback(cb);
        BuildControl(*p, c, o);
    }
    p->closeControl = controlNamed(*p, def.value("close_control").toString());
    if (def.contains("menubar")) AddMenuBar(*p, def.value("menubar").toArray());
    EnableKeyboard(*p, def);
    return p->handle;
}

int NewPanel(int /*parent*/, const std::string& title, int top, int left, int height, int width) {
    Panel* p = NewPanelShell(qs(title), width, height);
    if (top != VAL_AUTO_CENTER && left != VAL_AUTO_CENTER) {
        p->window->move(left, top);
        p->placed = true;
    }
    return p->handle;
}

int NewCtrl(int panel, int type, const std::string& label, int top, int left) {
    Panel* p = findPanel(panel);
    if (!p) return UIE_BadPanelHandle;
    QJsonObject o;
    o["label"] = qs(label);
    o["top"] = top;
    o["left"] = left;
    switch (type) {
    case CTRL_COMMAND_BUTTON:
        o["width"] = 75;
        o["height"] = 25;
        break;
    case CTRL_LIST_BOX:
        o["width"] = 150;
        o["height"] = 60;
        break;
    case CTRL_TEXT_MSG: {
        const QFontMetrics fm(QApplication::font());
        const QSize s = fm.size(0, qs(label));
        o["width"] = s.width() + 2;
        o["height"] = s.height() + 2;
        break;
    }
    default: break;
    }
    Control& c = p->controls[p->nextControl];
    c.id = p->nextControl++;
    c.type = type;
    BuildControl(*p, c, o);
    if (c.widget) c.widget->show();
    return c.id;
}
