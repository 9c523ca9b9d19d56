// Panels and controls over Qt Widgets.
//
// RQ55.uir is a JSON document:
//   { "panels": [ { "resource": 17, "name": "PRINCIPAL", "title": "RQ55", "width": 700, "height": 460,
//                   "close_control": "PRINCIPAL_SALIR", "menubar": [ menus ], "controls": [ controls ] } ] }
// A menu is { "name", "label", "items": [ { "name", "label", "callback", "dimmed" } ] }.
// A control is { "name", "type", "top", "left", "width", "height", ... } with type one of numeric,
// string, textmsg, textbox, button, picturebutton, switch, ring, listbox, timer, graph, gauge,
// decoration, and the optional keys label, label_position ("top" or "left"), value, data ("int",
// "unsigned", "double"), min, max, precision, indicator, items ([{ "label", "value" }]), callback,
// interval, enabled, on_text, off_text, image, dimmed, visible, tooltip, font_size, bold, color
// ("#rrggbb"), background (text messages), align ("left", "center", "right"), wrap, max_length, x_label,
// y_label, xmin, xmax, ymin, ymax. Control numbers follow the order of the list (see uirgen).
#include "platform/ui.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QIcon>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QSpinBox>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QToolButton>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>
#include <climits>
#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <set>

#include "platform/system.h"
#include "platform/testing.h"
#include "platform/widgets.h"

namespace {

using platform::GaugeWidget;
using platform::PanelWindow;
using platform::SwitchWidget;

struct ListItem {
    std::string label;
    int value = 0;
};

enum class NumData { Int, Unsigned, Double };

struct Control {
    int id = 0;
    int type = 0;
    std::string name;
    CtrlCallbackPtr callback = nullptr;
    void* callbackData = nullptr;
    QWidget* widget = nullptr;
    QLabel* caption = nullptr;
    bool captionLeft = false;
    QTimer* timer = nullptr;
    bool timerEnabled = false;
    NumData data = NumData::Double;
    int precision = 2;
    bool indicator = false;
    double value = 0;                  // numeric indicators keep their value here
    std::vector<ListItem> items;       // rings and list boxes
    std::map<int, QLineSeries*> plots; // graphs
    int nextPlot = 1;
    bool fixedX = false, fixedY = false;
};

struct MenuEntry {
    QMenu* menu = nullptr;
    QAction* action = nullptr;
    MenuCallbackPtr callback = nullptr;
};

struct Panel {
    int handle = 0;
    int resource = 0;
    PanelWindow* window = nullptr;
    QWidget* content = nullptr;
    QMenuBar* menuBar = nullptr;
    int menuBarHandle = 0;
    std::map<int, Control> controls;
    std::map<int, MenuEntry> menu;
    int closeControl = 0;
    int nextControl = 2;
    bool placed = false;
    bool popup = false;
};

std::map<int, std::unique_ptr<Panel>> g_panels;
int g_nextPanel = 1;
int g_nextMenuBar = 1;
std::map<int, int> g_menuBarPanel;
std::map<std::string, CtrlCallbackPtr> g_callbacks;
std::map<std::string, MenuCallbackPtr> g_menuCallbacks;
std::vector<QEventLoop*> g_loops;
int g_timerSuspend = 0;
std::set<std::pair<int, int>> g_pendingTicks;
std::function<PopupAnswer(const PopupRecord&)> g_responder;
std::vector<PopupRecord> g_popups;
std::vector<std::string> g_trayHistory;
std::string g_trayImage;
bool g_trayInstalled = false;
QSystemTrayIcon* g_tray = nullptr;

QString qs(const std::string& s) { return QString::fromStdString(s); }
std::string ss(const QString& s) { return s.toStdString(); }

Panel* findPanel(int handle) {
    auto it = g_panels.find(handle);
    return it == g_panels.end() ? nullptr : it->second.get();
}

Control* findControl(int panel, int control) {
    Panel* p = findPanel(panel);
    if (!p) return nullptr;
    auto it = p->controls.find(control);
    return it == p->controls.end() ? nullptr : &it->second;
}

QString resolvePath(const std::string& file) {
    const QString f = qs(file);
    if (f.isEmpty() || QDir::isAbsolutePath(f)) return f;
    return qs(GetProjectDir()) + "/" + f;
}

int dispatchCommit(int panel, int control) {
    Control* c = findControl(panel, control);
    if (!c || !c->callback) return 0;
    // The callback may discard this very panel; nothing here touches `c` afterwards.
    CtrlCallbackPtr fn = c->callback;
    return fn(panel, control, EVENT_COMMIT, c->callbackData, 0, 0);
}

void dispatchTick(int panel, int control) {
    Control* c = findControl(panel, control);
    if (!c || !c->timerEnabled || !c->callback) return;
    if (g_timerSuspend > 0) {
        g_pendingTicks.insert({panel, control});
        return;
    }
    CtrlCallbackPtr fn = c->callback;
    fn(panel, control, EVENT_TIMER_TICK, c->callbackData, 0, 0);
}

QString formatNumber(const Control& c, double v) {
    if (std::isnan(v)) return "NaN";
    if (c.data == NumData::Double) return QString::number(v, 'f', c.precision);
    return QString::number(static_cast<long long>(v));
}

void placeCaption(Control& c) {
    if (!c.caption || !c.widget) return;
    const QRect g = c.widget->geometry();
    c.caption->adjustSize();
    const QSize s = c.caption->sizeHint();
    if (c.captionLeft) {
        c.caption->setGeometry(g.left() - s.width() - 6, g.top() + (g.height() - s.height()) / 2, s.width(),
                               s.height());
    } else {
        c.caption->setGeometry(g.left(), g.top() - s.height() - 2, std::max(s.width(), g.width()),
                               s.height());
    }
}

int alignmentOf(const QString& align, int fallback) {
    if (align == "left") return Qt::AlignLeft | Qt::AlignVCenter;
    if (align == "center") return Qt::AlignCenter;
    if (align == "right") return Qt::AlignRight | Qt::AlignVCenter;
    return fallback;
}

void rescaleGraph(Control& c) {
    auto* view = static_cast<QChartView*>(c.widget);
    QChart* chart = view->chart();
    const auto axesX = chart->axes(Qt::Horizontal);
    const auto axesY = chart->axes(Qt::Vertical);
    if (axesX.isEmpty() || axesY.isEmpty()) return;
    double x0 = INFINITY, x1 = -INFINITY, y0 = INFINITY, y1 = -INFINITY;
    for (auto& [handle, series] : c.plots) {
        for (const QPointF& pt : series->points()) {
            if (!std::isfinite(pt.x()) || !std::isfinite(pt.y())) continue;
            x0 = std::min(x0, pt.x());
            x1 = std::max(x1, pt.x());
            y0 = std::min(y0, pt.y());
            y1 = std::max(y1, pt.y());
        }
    }
    if (!std::isfinite(x0)) return;
    auto pad = [](double& lo, double& hi) {
        double span = hi - lo;
        if (span <= 0) span = std::max(1.0, std::fabs(hi));
        lo -= span * 0.08;
        hi += span * 0.08;
    };
    pad(x0, x1);
    pad(y0, y1);
    auto* ax = static_cast<QValueAxis*>(axesX.first());
    auto* ay = static_cast<QValueAxis*>(axesY.first());
    if (!c.fixedX) ax->setRange(x0, x1), ax->applyNiceNumbers();
    if (!c.fixedY) ay->setRange(y0, y1), ay->applyNiceNumbers();
}

QString textStyle(const QJsonObject& o) {
    QString style;
    if (o.contains("color")) style += QString("color: %1;").arg(o.value("color").toString());
    return style;
}

void applyFont(QWidget* w, const QJsonObject& o) {
    QFont f = w->font();
    if (o.contains("font_size")) f.setPointSizeF(o.value("font_size").toDouble());
    if (o.value("bold").toBool(false)) f.setBold(true);
    w->setFont(f);
}

int typeFromName(const QString& t) {
    static const std::map<QString, int> types = {
        {"numeric", CTRL_NUMERIC},       {"string", CTRL_STRING},
        {"textmsg", CTRL_TEXT_MSG},      {"textbox", CTRL_TEXT_BOX},
        {"button", CTRL_COMMAND_BUTTON}, {"picturebutton", CTRL_PICTURE_TOGGLE},
        {"switch", CTRL_BINARY_SWITCH},  {"ring", CTRL_RING},
        {"listbox", CTRL_LIST_BOX},      {"timer", CTRL_TIMER},
        {"graph", CTRL_GRAPH},           {"gauge", CTRL_GAUGE},
        {"decoration", CTRL_DECORATION}};
    auto it = types.find(t);
    return it == types.end() ? 0 : it->second;
}

// Builds the widget of one control; the caller has checked its type and callback.
void buildControl(Panel& p, Control& c, const QJsonObject& o) {
    const int panel = p.handle, id = c.id;
    const QRect geom(o.value("left").toInt(), o.value("top").toInt(), o.value("width").toInt(80),
                     o.value("height").toInt(22));
    const QString label = o.value("label").toString();
    QWidget* parent = p.content;

    switch (c.type) {
    case CTRL_NUMERIC: {
        const QString data = o.value("data").toString("double");
        c.data = data == "int" ? NumData::Int : data == "unsigned" ? NumData::Unsigned : NumData::Double;
        c.precision = o.value("precision").toInt(c.data == NumData::Double ? 2 : 0);
        c.indicator = o.value("indicator").toBool(false);
        const double lo = o.value("min").toDouble(c.data == NumData::Unsigned ? 0 : -1e9);
        const double hi = o.value("max").toDouble(1e9);
        c.value = o.value("value").toDouble(0);
        if (c.indicator) {
            auto* l = new QLabel(parent);
            l->setAlignment(static_cast<Qt::Alignment>(
                alignmentOf(o.value("align").toString(), Qt::AlignRight | Qt::AlignVCenter)));
            l->setObjectName("valueDisplay");
            l->setStyleSheet("QLabel#valueDisplay { background: white; border: 1px solid #b9c2cc;"
                             " border-radius: 3px; padding: 0px 6px; " +
                             textStyle(o) +
                             " } QLabel#valueDisplay:disabled { background: #eef1f4; color: #9aa3ad; }");
            l->setText(formatNumber(c, c.value));
            c.widget = l;
        } else if (c.data == NumData::Double) {
            auto* s = new QDoubleSpinBox(parent);
            s->setKeyboardTracking(false);
            s->setDecimals(c.precision);
            s->setRange(lo, hi);
            s->setValue(c.value);
            s->setAlignment(Qt::AlignRight);
            QObject::connect(s, &QDoubleSpinBox::valueChanged,
                             [panel, id](double) { dispatchCommit(panel, id); });
            c.widget = s;
        } else {
            auto* s = new QSpinBox(parent);
            s->setKeyboardTracking(false);
            s->setRange(static_cast<int>(std::max<double>(lo, INT_MIN)),
                        static_cast<int>(std::min<double>(hi, INT_MAX)));
            s->setValue(static_cast<int>(c.value));
            s->setAlignment(Qt::AlignRight);
            QObject::connect(s, &QSpinBox::valueChanged, [panel, id](int) { dispatchCommit(panel, id); });
            c.widget = s;
        }
        break;
    }
    case CTRL_STRING: {
        auto* e = new QLineEdit(parent);
        e->setText(o.value("value").toString());
        if (o.contains("max_length")) e->setMaxLength(o.value("max_length").toInt());
        QObject::connect(e, &QLineEdit::editingFinished, [panel, id, e]() {
            if (!e->isModified()) return;
            e->setModified(false);
            dispatchCommit(panel, id);
        });
        c.widget = e;
        break;
    }
    case CTRL_TEXT_MSG: {
        auto* l = new QLabel(parent);
        l->setText(o.contains("value") ? o.value("value").toString() : label);
        l->setAlignment(static_cast<Qt::Alignment>(
            alignmentOf(o.value("align").toString(), Qt::AlignLeft | Qt::AlignVCenter)));
        QString style = textStyle(o);
        if (o.contains("background"))
            style += QString("background: %1; border-radius: 4px; padding: 2px 8px;")
                         .arg(o.value("background").toString());
        if (!style.isEmpty()) l->setStyleSheet(style);
        l->setWordWrap(o.value("wrap").toBool(false));
        c.widget = l;
        break;
    }
    case CTRL_TEXT_BOX: {
        auto* e = new QLineEdit(parent);
        e->setReadOnly(true);
        e->setText(o.value("value").toString());
        e->setAlignment(static_cast<Qt::Alignment>(
            alignmentOf(o.value("align").toString(), Qt::AlignLeft | Qt::AlignVCenter)));
        e->setFocusPolicy(Qt::NoFocus);
        c.widget = e;
        break;
    }
    case CTRL_COMMAND_BUTTON: {
        auto* b = new QPushButton(label, parent);
        QObject::connect(b, &QPushButton::clicked, [panel, id]() { dispatchCommit(panel, id); });
        c.widget = b;
        break;
    }
    case CTRL_PICTURE_TOGGLE: {
        auto* b = new QToolButton(parent);
        b->setCheckable(true);
        b->setChecked(o.value("value").toInt(0) != 0);
        b->setIcon(QIcon(resolvePath(ss(o.value("image").toString()))));
        b->setIconSize(QSize(geom.width() - 8, geom.height() - 8));
        b->setAutoRaise(false);
        QObject::connect(b, &QToolButton::clicked, [panel, id]() { dispatchCommit(panel, id); });
        c.widget = b;
        break;
    }
    case CTRL_BINARY_SWITCH: {
        auto* s = new SwitchWidget(parent);
        s->setStateTexts(o.value("on_text").toString("On"), o.value("off_text").toString("Off"));
        s->setChecked(o.value("value").toInt(0) != 0);
        QObject::connect(s, &QAbstractButton::clicked, [panel, id]() { dispatchCommit(panel, id); });
        c.widget = s;
        break;
    }
    case CTRL_RING:
    case CTRL_LIST_BOX: {
        for (const QJsonValue& iv : o.value("items").toArray()) {
            const QJsonObject item = iv.toObject();
            c.items.push_back({ss(item.value("label").toString()), item.value("value").toInt()});
        }
        const int initial = o.value("value").toInt(c.items.empty() ? 0 : c.items.front().value);
        int index = 0;
        for (size_t i = 0; i < c.items.size(); ++i)
            if (c.items[i].value == initial) index = static_cast<int>(i);
        if (c.type == CTRL_RING) {
            auto* box = new QComboBox(parent);
            for (const ListItem& it : c.items) box->addItem(qs(it.label));
            box->setCurrentIndex(index);
            QObject::connect(box, &QComboBox::activated, [panel, id](int) { dispatchCommit(panel, id); });
            c.widget = box;
        } else {
            auto* list = new QListWidget(parent);
            for (const ListItem& it : c.items) list->addItem(qs(it.label));
            list->setCurrentRow(c.items.empty() ? -1 : index);
            QObject::connect(list, &QListWidget::itemClicked,
                             [panel, id](QListWidgetItem*) { dispatchCommit(panel, id); });
            c.widget = list;
        }
        break;
    }
    case CTRL_TIMER: {
        c.timer = new QTimer(p.window);
        c.timer->setInterval(static_cast<int>(std::lround(o.value("interval").toDouble(1.0) * 1000)));
        c.timerEnabled = o.value("enabled").toBool(false);
        QObject::connect(c.timer, &QTimer::timeout, [panel, id]() { dispatchTick(panel, id); });
        if (c.timerEnabled) c.timer->start();
        return; // no widget
    }
    case CTRL_GRAPH: {
        auto* chart = new QChart();
        chart->legend()->hide();
        chart->setMargins(QMargins(2, 2, 2, 2));
        chart->setBackgroundRoundness(3);
        auto* ax = new QValueAxis();
        auto* ay = new QValueAxis();
        ax->setLabelFormat("%g");
        ay->setLabelFormat("%g");
        QFont axisFont = QApplication::font();
        axisFont.setPointSizeF(7.5);
        ax->setLabelsFont(axisFont);
        ay->setLabelsFont(axisFont);
        if (o.contains("x_label"))
            ax->setTitleText(o.value("x_label").toString()), ax->setTitleFont(axisFont);
        if (o.contains("y_label"))
            ay->setTitleText(o.value("y_label").toString()), ay->setTitleFont(axisFont);
        ax->setRange(o.value("xmin").toDouble(0), o.value("xmax").toDouble(10));
        ay->setRange(o.value("ymin").toDouble(0), o.value("ymax").toDouble(10));
        c.fixedX = o.contains("xmin") && o.contains("xmax");
        c.fixedY = o.contains("ymin") && o.contains("ymax");
        ax->setTickCount(5);
        ay->setTickCount(5);
        chart->addAxis(ax, Qt::AlignBottom);
        chart->addAxis(ay, Qt::AlignLeft);
        auto* view = new QChartView(chart, parent);
        view->setRenderHint(QPainter::Antialiasing);
        view->setFrameShape(QFrame::StyledPanel);
        c.widget = view;
        break;
    }
    case CTRL_GAUGE: {
        auto* g = new GaugeWidget(parent);
        g->setRange(o.value("min").toDouble(0), o.value("max").toDouble(100));
        g->setPrecision(o.value("precision").toInt(2));
        g->setValue(o.value("value").toDouble(0));
        c.widget = g;
        break;
    }
    case CTRL_DECORATION: {
        auto* box = new QGroupBox(label, parent);
        c.widget = box;
        break;
    }
    default: return;
    }

    c.widget->setGeometry(geom);
    applyFont(c.widget, o);
    if (o.contains("tooltip")) c.widget->setToolTip(o.value("tooltip").toString());
    const bool hasCaption = c.type != CTRL_COMMAND_BUTTON && c.type != CTRL_TEXT_MSG &&
                            c.type != CTRL_DECORATION && !label.isEmpty();
    c.captionLeft = o.value("label_position").toString() == "left";
    if (hasCaption) {
        c.caption = new QLabel(label, parent);
        if (o.contains("caption_size")) {
            QFont f = c.caption->font();
            f.setPointSizeF(o.value("caption_size").toDouble());
            c.caption->setFont(f);
        }
        placeCaption(c);
    }
    if (c.type == CTRL_DECORATION) c.widget->lower();
    const bool visible = o.value("visible").toBool(true);
    c.widget->setVisible(visible);
    if (c.caption) c.caption->setVisible(visible);
    const bool dimmed = o.value("dimmed").toBool(false);
    c.widget->setEnabled(!dimmed);
    if (c.caption) c.caption->setEnabled(!dimmed);
}

Panel* newPanelShell(const QString& title, int width, int height) {
    auto p = std::make_unique<Panel>();
    p->handle = g_nextPanel++;
    const int handle = p->handle;
    p->window = new PanelWindow([handle]() {
        Panel* panel = findPanel(handle);
        if (panel && panel->closeControl) dispatchCommit(handle, panel->closeControl);
    });
    p->window->setWindowTitle(title);
    p->content = new QWidget(p->window);
    p->content->setGeometry(0, 0, width, height);
    p->window->setFixedSize(width, height);
    Panel* raw = p.get();
    g_panels[handle] = std::move(p);
    return raw;
}

void addMenuBar(Panel& p, const QJsonArray& menus) {
    p.menuBar = new QMenuBar(p.window);
    p.menuBarHandle = g_nextMenuBar++;
    g_menuBarPanel[p.menuBarHandle] = p.handle;
    int number = 1;
    const int panel = p.handle, bar = p.menuBarHandle;
    for (const QJsonValue& mv : menus) {
        const QJsonObject m = mv.toObject();
        QMenu* menu = p.menuBar->addMenu(m.value("label").toString());
        p.menu[number++].menu = menu;
        for (const QJsonValue& iv : m.value("items").toArray()) {
            const QJsonObject it = iv.toObject();
            QAction* action = menu->addAction(it.value("label").toString());
            const int item = number++;
            MenuEntry& e = p.menu[item];
            e.action = action;
            action->setEnabled(!it.value("dimmed").toBool(false));
            const std::string cb = ss(it.value("callback").toString());
            if (!cb.empty()) e.callback = g_menuCallbacks[cb];
            QObject::connect(action, &QAction::triggered, [panel, bar, item]() {
                Panel* owner = findPanel(panel);
                if (!owner) return;
                MenuCallbackPtr fn = owner->menu[item].callback;
                if (fn) fn(bar, item, nullptr, panel);
            });
        }
    }
    const int barHeight = p.menuBar->sizeHint().height();
    p.menuBar->setGeometry(0, 0, p.content->width(), barHeight);
    p.content->move(0, barHeight);
    p.window->setFixedSize(p.content->width(), p.content->height() + barHeight);
}

// Tray images are loaded once: the icon changes several times in every exchange.
const QIcon& trayIcon(const std::string& file) {
    static std::map<std::string, QIcon> cache;
    auto it = cache.find(file);
    if (it == cache.end()) it = cache.emplace(file, QIcon(resolvePath(file))).first;
    return it->second;
}

// The offscreen platform (tests, screenshots) cannot raise or activate windows and says so.
void bringToFront(QWidget* window) {
    if (QGuiApplication::platformName() == "offscreen") return;
    window->raise();
    window->activateWindow();
}

void recordPopup(PopupRecord record) { g_popups.push_back(std::move(record)); }

void placeOnScreen(Panel& p) {
    if (p.placed) return;
    p.placed = true;
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return;
    const QRect area = screen->availableGeometry();
    p.window->move(area.center() - QPoint(p.window->width() / 2, p.window->height() / 2));
}

std::string joinedTexts(const Panel& p) {
    std::string text;
    for (const auto& [id, c] : p.controls) {
        if (c.type != CTRL_TEXT_MSG) continue;
        if (!text.empty()) text += "\n";
        text += ss(static_cast<QLabel*>(c.widget)->text());
    }
    return text;
}

} // namespace

void RegisterCallback(const std::string& name, CtrlCallbackPtr fn) { g_callbacks[name] = fn; }
void RegisterMenuCallback(const std::string& name, MenuCallbackPtr fn) { g_menuCallbacks[name] = fn; }
bool IsCallbackRegistered(const std::string& name) {
    return g_callbacks.count(name) != 0 || g_menuCallbacks.count(name) != 0;
}

int InitRunTime(int argc, char** argv) {
    if (QApplication::instance()) return 1;
    static int s_argc = argc;
    static QApplication* app = new QApplication(s_argc, argv);
    app->setQuitOnLastWindowClosed(false);
    app->setApplicationName("RQ55");
    app->setOrganizationName("RQ55");
    platform::ApplyTheme();
    app->setWindowIcon(QIcon(resolvePath("trffc_a.ico")));
    return 1;
}

int LoadPanel(int /*parent*/, const std::string& file, int resourceId) {
    QFile f(resolvePath(file));
    if (!f.open(QIODevice::ReadOnly)) return UIE_ResourceFileNotFound;
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(f.readAll(), &error);
    if (doc.isNull()) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(f.fileName()), qPrintable(error.errorString()));
        return UIE_BadResourceFile;
    }
    QJsonObject def;
    for (const QJsonValue& pv : doc.object().value("panels").toArray())
        if (pv.toObject().value("resource").toInt() == resourceId) def = pv.toObject();
    if (def.isEmpty()) return UIE_NoSuchPanelResource;

    // Every callback must exist before anything is built, so a typo fails the load as a whole.
    const QJsonArray controls = def.value("controls").toArray();
    for (const QJsonValue& cv : controls) {
        const QJsonObject o = cv.toObject();
        const std::string cb = ss(o.value("callback").toString());
        if (typeFromName(o.value("type").toString()) == 0) {
            std::fprintf(stderr, "RQ55.uir: control %s has an unknown type\n",
                         qPrintable(o.value("name").toString()));
            return UIE_BadResourceFile;
        }
        if (!cb.empty() && !g_callbacks.count(cb)) {
            std::fprintf(stderr, "RQ55.uir: unknown callback %s\n", cb.c_str());
            return UIE_UnknownCallback;
        }
    }
    for (const QJsonValue& mv : def.value("menubar").toArray())
        for (const QJsonValue& iv : mv.toObject().value("items").toArray()) {
            const std::string cb = ss(iv.toObject().value("callback").toString());
            if (!cb.empty() && !g_menuCallbacks.count(cb)) {
                std::fprintf(stderr, "RQ55.uir: unknown menu callback %s\n", cb.c_str());
                return UIE_UnknownCallback;
            }
        }

    Panel* p = newPanelShell(def.value("title").toString(), def.value("width").toInt(400),
                             def.value("height").toInt(300));
    p->resource = resourceId;
    int number = 2;
    const QString closeName = def.value("close_control").toString();
    for (const QJsonValue& cv : controls) {
        const QJsonObject o = cv.toObject();
        Control& c = p->controls[number];
        c.id = number++;
        c.name = ss(o.value("name").toString());
        c.type = typeFromName(o.value("type").toString());
        const std::string cb = ss(o.value("callback").toString());
        if (!cb.empty()) c.callback = g_callbacks[cb];
        buildControl(*p, c, o);
        if (!closeName.isEmpty() && qs(c.name) == closeName) p->closeControl = c.id;
    }
    if (def.contains("menubar")) addMenuBar(*p, def.value("menubar").toArray());
    return p->handle;
}

int NewPanel(int /*parent*/, const std::string& title, int top, int left, int height, int width) {
    Panel* p = newPanelShell(qs(title), width, height);
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
    buildControl(*p, c, o);
    if (c.widget) c.widget->show();
    return c.id;
}

int InstallCtrlCallback(int panel, int control, CtrlCallbackPtr fn, void* callbackData) {
    Control* c = findControl(panel, control);
    if (!c) return UIE_BadControl;
    c->callback = fn;
    c->callbackData = callbackData;
    return 0;
}

int DisplayPanel(int panel) {
    Panel* p = findPanel(panel);
    if (!p) return UIE_BadPanelHandle;
    placeOnScreen(*p);
    p->window->show();
    bringToFront(p->window);
    return 0;
}

int HidePanel(int panel) {
    Panel* p = findPanel(panel);
    if (!p) return UIE_BadPanelHandle;
    p->window->hide();
    return 0;
}

int DiscardPanel(int panel) {
    auto it = g_panels.find(panel);
    if (it == g_panels.end()) return UIE_BadPanelHandle;
    std::unique_ptr<Panel> p = std::move(it->second);
    g_panels.erase(it);
    for (auto& [id, c] : p->controls)
        if (c.timer) c.timer->stop();
    if (p->menuBarHandle) g_menuBarPanel.erase(p->menuBarHandle);
    p->window->hide();
    // Deleted once control is back in the event loop: a callback of this panel may still be running.
    p->window->deleteLater();
    return 0;
}

int InstallPopup(int panel) {
    Panel* p = findPanel(panel);
    if (!p) return UIE_BadPanelHandle;
    p->popup = true;
    recordPopup({"panel", ss(p->window->windowTitle()), joinedTexts(*p), panel});
    if (g_responder) g_responder(g_popups.back());
    p = findPanel(panel); // the responder may have acted on the panel
    if (!p) return 0;
    placeOnScreen(*p);
    p->window->setWindowModality(Qt::ApplicationModal);
    p->window->show();
    bringToFront(p->window);
    return 0;
}

int RemovePopup(int panel) {
    Panel* p = findPanel(panel);
    if (!p) return UIE_BadPanelHandle;
    p->window->hide();
    p->window->setWindowModality(Qt::NonModal);
    p->popup = false;
    return 0;
}

int SetPanelAttribute(int panel, int attribute, int value) {
    Panel* p = findPanel(panel);
    if (!p) return UIE_BadPanelHandle;
    switch (attribute) {
    case ATTR_WIDTH:
        p->content->resize(value, p->content->height());
        p->window->setFixedSize(value, p->content->height() + (p->menuBar ? p->menuBar->height() : 0));
        return 0;
    case ATTR_HEIGHT:
        p->content->resize(p->content->width(), value);
        p->window->setFixedSize(p->content->width(), value + (p->menuBar ? p->menuBar->height() : 0));
        return 0;
    case ATTR_TOP:
        p->window->move(p->window->x(), value);
        p->placed = true;
        return 0;
    case ATTR_LEFT:
        p->window->move(value, p->window->y());
        p->placed = true;
        return 0;
    case ATTR_CLOSE_CTRL: p->closeControl = value; return 0;
    default: return UIE_BadAttribute;
    }
}

int SetPanelAttribute(int panel, int attribute, const std::string& value) {
    Panel* p = findPanel(panel);
    if (!p) return UIE_BadPanelHandle;
    if (attribute != ATTR_TITLE) return UIE_BadAttribute;
    p->window->setWindowTitle(qs(value));
    return 0;
}

int GetPanelAttribute(int panel, int attribute, int& value) {
    Panel* p = findPanel(panel);
    if (!p) return UIE_BadPanelHandle;
    switch (attribute) {
    case ATTR_WIDTH: value = p->content->width(); return 0;
    case ATTR_HEIGHT: value = p->content->height(); return 0;
    case ATTR_TOP: value = p->window->y(); return 0;
    case ATTR_LEFT: value = p->window->x(); return 0;
    case ATTR_PANEL_VISIBLE: value = p->window->isVisible() ? 1 : 0; return 0;
    case ATTR_CLOSE_CTRL: value = p->closeControl; return 0;
    default: return UIE_BadAttribute;
    }
}

int GetPanelAttribute(int panel, int attribute, std::string& value) {
    Panel* p = findPanel(panel);
    if (!p) return UIE_BadPanelHandle;
    if (attribute != ATTR_TITLE) return UIE_BadAttribute;
    value = ss(p->window->windowTitle());
    return 0;
}

// ---- values ----

int SetCtrlVal(int panel, int control, double value) {
    Control* c = findControl(panel, control);
    if (!c) return findPanel(panel) ? UIE_BadControl : UIE_BadPanelHandle;
    switch (c->type) {
    case CTRL_NUMERIC:
        if (c->data != NumData::Double) value = std::isfinite(value) ? std::trunc(value) : 0;
        c->value = value;
        if (c->indicator) {
            static_cast<QLabel*>(c->widget)->setText(formatNumber(*c, value));
        } else if (auto* d = qobject_cast<QDoubleSpinBox*>(c->widget)) {
            const QSignalBlocker block(d);
            d->setValue(value);
        } else if (auto* s = qobject_cast<QSpinBox*>(c->widget)) {
            const QSignalBlocker block(s);
            s->setValue(static_cast<int>(std::clamp<double>(value, INT_MIN, INT_MAX)));
        }
        return 0;
    case CTRL_GAUGE: static_cast<GaugeWidget*>(c->widget)->setValue(value); return 0;
    case CTRL_PICTURE_TOGGLE:
    case CTRL_BINARY_SWITCH: {
        auto* b = static_cast<QAbstractButton*>(c->widget);
        const QSignalBlocker block(b);
        b->setChecked(value != 0);
        return 0;
    }
    case CTRL_RING:
    case CTRL_LIST_BOX: {
        for (size_t i = 0; i < c->items.size(); ++i) {
            if (c->items[i].value != static_cast<int>(value)) continue;
            const QSignalBlocker block(c->widget);
            if (auto* box = qobject_cast<QComboBox*>(c->widget)) box->setCurrentIndex(static_cast<int>(i));
            if (auto* list = qobject_cast<QListWidget*>(c->widget)) list->setCurrentRow(static_cast<int>(i));
            return 0;
        }
        return UIE_ValueNotInList;
    }
    default: return UIE_WrongControlType;
    }
}

int SetCtrlVal(int panel, int control, int value) {
    return SetCtrlVal(panel, control, static_cast<double>(value));
}
int SetCtrlVal(int panel, int control, unsigned value) {
    return SetCtrlVal(panel, control, static_cast<double>(value));
}

int SetCtrlVal(int panel, int control, const std::string& value) {
    Control* c = findControl(panel, control);
    if (!c) return findPanel(panel) ? UIE_BadControl : UIE_BadPanelHandle;
    switch (c->type) {
    case CTRL_TEXT_MSG: static_cast<QLabel*>(c->widget)->setText(qs(value)); return 0;
    case CTRL_STRING:
    case CTRL_TEXT_BOX: {
        auto* e = static_cast<QLineEdit*>(c->widget);
        const QSignalBlocker block(e);
        e->setText(qs(value));
        e->setModified(false);
        return 0;
    }
    default: return UIE_WrongControlType;
    }
}

int SetCtrlVal(int panel, int control, const char* value) {
    return SetCtrlVal(panel, control, std::string(value ? value : ""));
}

int GetCtrlVal(int panel, int control, double& value) {
    Control* c = findControl(panel, control);
    if (!c) return findPanel(panel) ? UIE_BadControl : UIE_BadPanelHandle;
    switch (c->type) {
    case CTRL_NUMERIC:
        if (auto* d = qobject_cast<QDoubleSpinBox*>(c->widget))
            value = d->value();
        else if (auto* s = qobject_cast<QSpinBox*>(c->widget))
            value = s->value();
        else
            value = c->value;
        return 0;
    case CTRL_GAUGE: value = static_cast<GaugeWidget*>(c->widget)->value(); return 0;
    case CTRL_PICTURE_TOGGLE:
    case CTRL_BINARY_SWITCH: value = static_cast<QAbstractButton*>(c->widget)->isChecked() ? 1 : 0; return 0;
    case CTRL_RING:
    case CTRL_LIST_BOX: {
        int row = -1;
        if (auto* box = qobject_cast<QComboBox*>(c->widget)) row = box->currentIndex();
        if (auto* list = qobject_cast<QListWidget*>(c->widget)) row = list->currentRow();
        if (row < 0 || row >= static_cast<int>(c->items.size())) return UIE_ValueNotInList;
        value = c->items[static_cast<size_t>(row)].value;
        return 0;
    }
    default: return UIE_WrongControlType;
    }
}

int GetCtrlVal(int panel, int control, int& value) {
    double v = 0;
    const int r = GetCtrlVal(panel, control, v);
    if (r < 0) return r;
    value = static_cast<int>(std::clamp<double>(std::trunc(v), INT_MIN, INT_MAX));
    return 0;
}

int GetCtrlVal(int panel, int control, unsigned& value) {
    double v = 0;
    const int r = GetCtrlVal(panel, control, v);
    if (r < 0) return r;
    value = static_cast<unsigned>(static_cast<long long>(std::trunc(v)));
    return 0;
}

int GetCtrlVal(int panel, int control, std::string& value) {
    Control* c = findControl(panel, control);
    if (!c) return findPanel(panel) ? UIE_BadControl : UIE_BadPanelHandle;
    switch (c->type) {
    case CTRL_TEXT_MSG: value = ss(static_cast<QLabel*>(c->widget)->text()); return 0;
    case CTRL_STRING:
    case CTRL_TEXT_BOX: value = ss(static_cast<QLineEdit*>(c->widget)->text()); return 0;
    case CTRL_RING: value = ss(static_cast<QComboBox*>(c->widget)->currentText()); return 0;
    case CTRL_NUMERIC:
        if (c->indicator) {
            value = ss(static_cast<QLabel*>(c->widget)->text());
            return 0;
        }
        return UIE_WrongControlType;
    default: return UIE_WrongControlType;
    }
}

// ---- attributes ----

int SetCtrlAttribute(int panel, int control, int attribute, int value) {
    Control* c = findControl(panel, control);
    if (!c) return findPanel(panel) ? UIE_BadControl : UIE_BadPanelHandle;
    if (attribute == ATTR_CTRL_VAL) return SetCtrlVal(panel, control, value);
    if (c->type == CTRL_TIMER) {
        if (attribute != ATTR_ENABLED) return UIE_BadAttribute;
        c->timerEnabled = value != 0;
        if (c->timerEnabled && !c->timer->isActive()) c->timer->start();
        if (!c->timerEnabled) c->timer->stop();
        return 0;
    }
    switch (attribute) {
    case ATTR_DIMMED:
        c->widget->setEnabled(value == 0);
        if (c->caption) c->caption->setEnabled(value == 0);
        return 0;
    case ATTR_VISIBLE:
        c->widget->setVisible(value != 0);
        if (c->caption) c->caption->setVisible(value != 0);
        return 0;
    case ATTR_TEXT_POINT_SIZE: {
        QFont f = c->widget->font();
        f.setPointSize(value);
        c->widget->setFont(f);
        return 0;
    }
    case ATTR_TEXT_BOLD: {
        QFont f = c->widget->font();
        f.setBold(value != 0);
        c->widget->setFont(f);
        return 0;
    }
    case ATTR_TEXT_COLOR:
        c->widget->setStyleSheet(QString("color: #%1;").arg(value & 0xFFFFFF, 6, 16, QChar('0')));
        return 0;
    case ATTR_TOP:
    case ATTR_LEFT:
    case ATTR_WIDTH:
    case ATTR_HEIGHT: {
        QRect g = c->widget->geometry();
        if (attribute == ATTR_TOP) g.moveTop(value);
        if (attribute == ATTR_LEFT) g.moveLeft(value);
        if (attribute == ATTR_WIDTH) g.setWidth(value);
        if (attribute == ATTR_HEIGHT) g.setHeight(value);
        c->widget->setGeometry(g);
        placeCaption(*c);
        return 0;
    }
    case ATTR_SIZE_TO_TEXT:
        if (value) c->widget->adjustSize();
        return 0;
    case ATTR_MAX_VALUE:
    case ATTR_MIN_VALUE: return SetCtrlAttribute(panel, control, attribute, static_cast<double>(value));
    default: return UIE_BadAttribute;
    }
}

int SetCtrlAttribute(int panel, int control, int attribute, double value) {
    Control* c = findControl(panel, control);
    if (!c) return findPanel(panel) ? UIE_BadControl : UIE_BadPanelHandle;
    if (attribute == ATTR_CTRL_VAL) return SetCtrlVal(panel, control, value);
    if (attribute == ATTR_INTERVAL && c->type == CTRL_TIMER) {
        c->timer->setInterval(static_cast<int>(std::lround(value * 1000)));
        return 0;
    }
    if (attribute != ATTR_MAX_VALUE && attribute != ATTR_MIN_VALUE)
        return SetCtrlAttribute(panel, control, attribute, static_cast<int>(value));
    const bool max = attribute == ATTR_MAX_VALUE;
    if (auto* g = dynamic_cast<GaugeWidget*>(c->widget)) {
        if (max)
            g->setRange(g->minimum(), value);
        else
            g->setRange(value, g->maximum());
        return 0;
    }
    if (auto* d = qobject_cast<QDoubleSpinBox*>(c->widget)) {
        if (max)
            d->setMaximum(value);
        else
            d->setMinimum(value);
        return 0;
    }
    if (auto* s = qobject_cast<QSpinBox*>(c->widget)) {
        const int v = static_cast<int>(std::clamp<double>(value, INT_MIN, INT_MAX));
        if (max)
            s->setMaximum(v);
        else
            s->setMinimum(v);
        return 0;
    }
    return UIE_BadAttribute;
}

int SetCtrlAttribute(int panel, int control, int attribute, const std::string& value) {
    Control* c = findControl(panel, control);
    if (!c) return findPanel(panel) ? UIE_BadControl : UIE_BadPanelHandle;
    if (attribute == ATTR_CTRL_VAL) return SetCtrlVal(panel, control, value);
    switch (attribute) {
    case ATTR_LABEL_TEXT:
        if (auto* b = qobject_cast<QPushButton*>(c->widget))
            b->setText(qs(value));
        else if (auto* g = qobject_cast<QGroupBox*>(c->widget))
            g->setTitle(qs(value));
        else if (c->type == CTRL_TEXT_MSG)
            static_cast<QLabel*>(c->widget)->setText(qs(value));
        else {
            if (!c->caption) {
                c->caption = new QLabel(c->widget->parentWidget());
                c->caption->setVisible(c->widget->isVisibleTo(c->widget->parentWidget()));
                c->caption->setEnabled(c->widget->isEnabled());
            }
            c->caption->setText(qs(value));
            placeCaption(*c);
        }
        return 0;
    case ATTR_IMAGE_FILE: {
        auto* b = qobject_cast<QToolButton*>(c->widget);
        if (!b) return UIE_WrongControlType;
        b->setIcon(QIcon(resolvePath(value)));
        b->setProperty("imageFile", qs(value));
        return 0;
    }
    case ATTR_ON_TEXT:
    case ATTR_OFF_TEXT: {
        auto* s = dynamic_cast<SwitchWidget*>(c->widget);
        if (!s) return UIE_WrongControlType;
        if (attribute == ATTR_ON_TEXT)
            s->setStateTexts(qs(value), s->offText());
        else
            s->setStateTexts(s->onText(), qs(value));
        return 0;
    }
    case ATTR_TOOLTIP_TEXT: c->widget->setToolTip(qs(value)); return 0;
    default: return UIE_BadAttribute;
    }
}

int SetCtrlAttribute(int panel, int control, int attribute, const char* value) {
    return SetCtrlAttribute(panel, control, attribute, std::string(value ? value : ""));
}

int GetCtrlAttribute(int panel, int control, int attribute, int& value) {
    Control* c = findControl(panel, control);
    if (!c) return findPanel(panel) ? UIE_BadControl : UIE_BadPanelHandle;
    if (attribute == ATTR_CTRL_VAL) return GetCtrlVal(panel, control, value);
    if (c->type == CTRL_TIMER) {
        if (attribute != ATTR_ENABLED) return UIE_BadAttribute;
        value = c->timerEnabled ? 1 : 0;
        return 0;
    }
    switch (attribute) {
    case ATTR_DIMMED: value = c->widget->isEnabled() ? 0 : 1; return 0;
    case ATTR_VISIBLE: value = c->widget->isVisibleTo(c->widget->parentWidget()) ? 1 : 0; return 0;
    case ATTR_TEXT_POINT_SIZE: value = c->widget->font().pointSize(); return 0;
    case ATTR_TEXT_BOLD: value = c->widget->font().bold() ? 1 : 0; return 0;
    case ATTR_TOP: value = c->widget->y(); return 0;
    case ATTR_LEFT: value = c->widget->x(); return 0;
    case ATTR_WIDTH: value = c->widget->width(); return 0;
    case ATTR_HEIGHT: value = c->widget->height(); return 0;
    default: return UIE_BadAttribute;
    }
}

int GetCtrlAttribute(int panel, int control, int attribute, double& value) {
    Control* c = findControl(panel, control);
    if (!c) return findPanel(panel) ? UIE_BadControl : UIE_BadPanelHandle;
    if (attribute == ATTR_CTRL_VAL) return GetCtrlVal(panel, control, value);
    if (attribute == ATTR_INTERVAL && c->timer) {
        value = c->timer->interval() / 1000.0;
        return 0;
    }
    if (attribute == ATTR_MAX_VALUE || attribute == ATTR_MIN_VALUE) {
        const bool max = attribute == ATTR_MAX_VALUE;
        if (auto* g = dynamic_cast<GaugeWidget*>(c->widget))
            value = max ? g->maximum() : g->minimum();
        else if (auto* d = qobject_cast<QDoubleSpinBox*>(c->widget))
            value = max ? d->maximum() : d->minimum();
        else if (auto* s = qobject_cast<QSpinBox*>(c->widget))
            value = max ? s->maximum() : s->minimum();
        else
            return UIE_BadAttribute;
        return 0;
    }
    int v = 0;
    const int r = GetCtrlAttribute(panel, control, attribute, v);
    value = v;
    return r;
}

int GetCtrlAttribute(int panel, int control, int attribute, std::string& value) {
    Control* c = findControl(panel, control);
    if (!c) return findPanel(panel) ? UIE_BadControl : UIE_BadPanelHandle;
    switch (attribute) {
    case ATTR_CTRL_VAL: return GetCtrlVal(panel, control, value);
    case ATTR_LABEL_TEXT:
        if (auto* b = qobject_cast<QPushButton*>(c->widget))
            value = ss(b->text());
        else if (auto* g = qobject_cast<QGroupBox*>(c->widget))
            value = ss(g->title());
        else if (c->type == CTRL_TEXT_MSG)
            value = ss(static_cast<QLabel*>(c->widget)->text());
        else
            value = c->caption ? ss(c->caption->text()) : std::string();
        return 0;
    case ATTR_IMAGE_FILE: value = ss(c->widget->property("imageFile").toString()); return 0;
    case ATTR_ON_TEXT:
    case ATTR_OFF_TEXT: {
        auto* s = dynamic_cast<SwitchWidget*>(c->widget);
        if (!s) return UIE_WrongControlType;
        value = ss(attribute == ATTR_ON_TEXT ? s->onText() : s->offText());
        return 0;
    }
    case ATTR_TOOLTIP_TEXT: value = ss(c->widget->toolTip()); return 0;
    default: return UIE_BadAttribute;
    }
}

int ResetTimer(int panel, int control) {
    Control* c = findControl(panel, control);
    if (!c) return findPanel(panel) ? UIE_BadControl : UIE_BadPanelHandle;
    if (!c->timer) return UIE_WrongControlType;
    if (c->timerEnabled) c->timer->start(); // restarts the interval count
    return 0;
}

// ---- lists ----

int InsertListItem(int panel, int control, int index, const std::string& label, int value) {
    Control* c = findControl(panel, control);
    if (!c) return findPanel(panel) ? UIE_BadControl : UIE_BadPanelHandle;
    if (c->type != CTRL_RING && c->type != CTRL_LIST_BOX) return UIE_WrongControlType;
    const int count = static_cast<int>(c->items.size());
    if (index < 0 || index > count) index = count;
    c->items.insert(c->items.begin() + index, {label, value});
    const QSignalBlocker block(c->widget);
    if (auto* box = qobject_cast<QComboBox*>(c->widget)) box->insertItem(index, qs(label));
    if (auto* list = qobject_cast<QListWidget*>(c->widget)) {
        list->insertItem(index, qs(label));
        if (list->currentRow() < 0) list->setCurrentRow(0);
    }
    return 0;
}

int ClearListCtrl(int panel, int control) {
    Control* c = findControl(panel, control);
    if (!c) return findPanel(panel) ? UIE_BadControl : UIE_BadPanelHandle;
    if (c->type != CTRL_RING && c->type != CTRL_LIST_BOX) return UIE_WrongControlType;
    c->items.clear();
    const QSignalBlocker block(c->widget);
    if (auto* box = qobject_cast<QComboBox*>(c->widget)) box->clear();
    if (auto* list = qobject_cast<QListWidget*>(c->widget)) list->clear();
    return 0;
}

int GetNumListItems(int panel, int control, int& count) {
    Control* c = findControl(panel, control);
    if (!c) return findPanel(panel) ? UIE_BadControl : UIE_BadPanelHandle;
    count = static_cast<int>(c->items.size());
    return 0;
}

int GetLabelFromIndex(int panel, int control, int index, std::string& label) {
    Control* c = findControl(panel, control);
    if (!c) return findPanel(panel) ? UIE_BadControl : UIE_BadPanelHandle;
    if (index < 0 || index >= static_cast<int>(c->items.size())) return UIE_ValueNotInList;
    label = c->items[static_cast<size_t>(index)].label;
    return 0;
}

int GetValueFromIndex(int panel, int control, int index, int& value) {
    Control* c = findControl(panel, control);
    if (!c) return findPanel(panel) ? UIE_BadControl : UIE_BadPanelHandle;
    if (index < 0 || index >= static_cast<int>(c->items.size())) return UIE_ValueNotInList;
    value = c->items[static_cast<size_t>(index)].value;
    return 0;
}

// ---- graphs ----

int PlotXY(int panel, int control, const float* x, const float* y, int count, int color) {
    Control* c = findControl(panel, control);
    if (!c) return findPanel(panel) ? UIE_BadControl : UIE_BadPanelHandle;
    if (c->type != CTRL_GRAPH) return UIE_WrongControlType;
    QChart* chart = static_cast<QChartView*>(c->widget)->chart();
    auto* series = new QLineSeries();
    for (int i = 0; i < count; ++i) series->append(x[i], y[i]);
    QPen pen(QColor::fromRgb(static_cast<QRgb>(color)));
    pen.setWidthF(2);
    series->setPen(pen);
    series->setPointsVisible(true);
    chart->addSeries(series);
    for (QAbstractAxis* axis : chart->axes()) series->attachAxis(axis);
    const int handle = c->nextPlot++;
    c->plots[handle] = series;
    rescaleGraph(*c);
    return handle;
}

int DeleteGraphPlot(int panel, int control, int plot) {
    Control* c = findControl(panel, control);
    if (!c) return findPanel(panel) ? UIE_BadControl : UIE_BadPanelHandle;
    if (c->type != CTRL_GRAPH) return UIE_WrongControlType;
    QChart* chart = static_cast<QChartView*>(c->widget)->chart();
    for (auto it = c->plots.begin(); it != c->plots.end();) {
        if (plot == -1 || it->first == plot) {
            chart->removeSeries(it->second);
            delete it->second;
            it = c->plots.erase(it);
        } else {
            ++it;
        }
    }
    return 0;
}

// ---- menus ----

int GetPanelMenuBar(int panel) {
    Panel* p = findPanel(panel);
    if (!p) return UIE_BadPanelHandle;
    return p->menuBarHandle;
}

int SetMenuBarAttribute(int menuBar, int menuOrItem, int attribute, const std::string& value) {
    auto owner = g_menuBarPanel.find(menuBar);
    if (owner == g_menuBarPanel.end()) return UIE_BadPanelHandle;
    Panel* p = findPanel(owner->second);
    auto it = p->menu.find(menuOrItem);
    if (it == p->menu.end()) return UIE_BadControl;
    if (attribute == ATTR_MENU_NAME && it->second.menu)
        it->second.menu->setTitle(qs(value));
    else if (attribute == ATTR_ITEM_NAME && it->second.action)
        it->second.action->setText(qs(value));
    else
        return UIE_BadAttribute;
    return 0;
}

int GetMenuBarAttribute(int menuBar, int menuOrItem, int attribute, std::string& value) {
    auto owner = g_menuBarPanel.find(menuBar);
    if (owner == g_menuBarPanel.end()) return UIE_BadPanelHandle;
    Panel* p = findPanel(owner->second);
    auto it = p->menu.find(menuOrItem);
    if (it == p->menu.end()) return UIE_BadControl;
    if (attribute == ATTR_MENU_NAME && it->second.menu)
        value = ss(it->second.menu->title());
    else if (attribute == ATTR_ITEM_NAME && it->second.action)
        value = ss(it->second.action->text());
    else
        return UIE_BadAttribute;
    return 0;
}

// ---- popups ----

int MessagePopup(const std::string& title, const std::string& message) {
    recordPopup({"message", title, message, 0});
    if (g_responder) {
        g_responder(g_popups.back());
        return 0;
    }
    QMessageBox box(QMessageBox::NoIcon, qs(title), qs(message), QMessageBox::Ok,
                    QApplication::activeWindow());
    box.exec();
    return 0;
}

int ConfirmPopup(const std::string& title, const std::string& message) {
    recordPopup({"confirm", title, message, 0});
    if (g_responder) return g_responder(g_popups.back()).result ? 1 : 0;
    QMessageBox box(QMessageBox::Question, qs(title), qs(message), QMessageBox::Yes | QMessageBox::No,
                    QApplication::activeWindow());
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes ? 1 : 0;
}

int FileSelectPopupEx(const std::string& defaultDir, const std::string& defaultSpec,
                      const std::string& typeList, const std::string& title, int button, std::string& path) {
    recordPopup({"file", title, defaultSpec, 0});
    if (g_responder) {
        const PopupAnswer answer = g_responder(g_popups.back());
        if (answer.result < 1) return 0;
        path = answer.path;
        return answer.result;
    }
    QFileDialog dialog(QApplication::activeWindow(), qs(title), qs(defaultDir));
    QStringList filters;
    if (!defaultSpec.empty()) filters << qs(defaultSpec);
    if (!typeList.empty() && typeList != defaultSpec) filters << qs(typeList);
    dialog.setNameFilters(filters);
    dialog.setAcceptMode(button == VAL_SAVE_BUTTON ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(button == VAL_SAVE_BUTTON ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    if (button == VAL_SAVE_BUTTON) dialog.setLabelText(QFileDialog::Accept, "Save");
    if (button == VAL_LOAD_BUTTON) dialog.setLabelText(QFileDialog::Accept, "Load");
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return 0;
    path = ss(dialog.selectedFiles().first());
    return QFileInfo::exists(dialog.selectedFiles().first()) ? 1 : 2;
}

// ---- event loop ----

int RunUserInterface() {
    QEventLoop loop;
    g_loops.push_back(&loop);
    const int code = loop.exec();
    g_loops.pop_back();
    return code;
}

int QuitUserInterface(int code) {
    if (g_loops.empty()) return UIE_NoEventLoop;
    g_loops.back()->exit(code);
    return 0;
}

int ProcessSystemEvents() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    return 0;
}

int PostDeferredCall(std::function<void()> fn) {
    QTimer::singleShot(0, QCoreApplication::instance(), std::move(fn));
    return 0;
}

void SuspendTimerCallbacks() { ++g_timerSuspend; }

void ResumeTimerCallbacks() {
    if (g_timerSuspend > 0) --g_timerSuspend;
    if (g_timerSuspend > 0 || g_pendingTicks.empty()) return;
    const auto pending = std::move(g_pendingTicks);
    g_pendingTicks.clear();
    for (const auto& [panel, control] : pending)
        PostDeferredCall([panel = panel, control = control]() { dispatchTick(panel, control); });
}

// ---- tray icon ----

int WT_InstallSysTrayIcon(const std::string& imageFile, const std::string& tooltip, TrayCallbackPtr /*fn*/,
                          int* handle) {
    g_trayInstalled = true;
    g_trayImage = imageFile;
    g_trayHistory.push_back(imageFile);
    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        if (!g_tray) g_tray = new QSystemTrayIcon(QCoreApplication::instance());
        g_tray->setIcon(trayIcon(imageFile));
        g_tray->setToolTip(qs(tooltip));
        g_tray->show();
    }
    if (handle) *handle = 1;
    return 0;
}

int WT_SetTrayIconAttr(int handle, int attribute, const std::string& value) {
    if (handle != 1 || !g_trayInstalled) return UIE_BadPanelHandle;
    if (attribute != ATTR_TRAY_ICON_IMAGE) return UIE_BadAttribute;
    if (value == g_trayImage) return 0;
    g_trayImage = value;
    g_trayHistory.push_back(value);
    if (g_tray) g_tray->setIcon(trayIcon(value));
    return 0;
}

int WT_RemoveSysTrayIcon(int handle) {
    if (handle != 1 || !g_trayInstalled) return UIE_BadPanelHandle;
    g_trayInstalled = false;
    if (g_tray) g_tray->hide();
    return 0;
}

// ---- test hooks ----

void SetPopupResponder(std::function<PopupAnswer(const PopupRecord&)> responder) {
    g_responder = std::move(responder);
}
const std::vector<PopupRecord>& RecordedPopups() { return g_popups; }
void ClearRecordedPopups() { g_popups.clear(); }

int SimulateCommit(int panel, int control) {
    Control* c = findControl(panel, control);
    if (!c) return findPanel(panel) ? UIE_BadControl : UIE_BadPanelHandle;
    if (c->type == CTRL_PICTURE_TOGGLE || c->type == CTRL_BINARY_SWITCH) {
        auto* b = static_cast<QAbstractButton*>(c->widget);
        const QSignalBlocker block(b);
        b->setChecked(!b->isChecked());
    }
    return dispatchCommit(panel, control);
}

int SimulateCloseBox(int panel) {
    Panel* p = findPanel(panel);
    if (!p) return UIE_BadPanelHandle;
    p->window->close();
    return 0;
}

int SimulateMenuCommand(int panel, int menuItem) {
    Panel* p = findPanel(panel);
    if (!p) return UIE_BadPanelHandle;
    auto it = p->menu.find(menuItem);
    if (it == p->menu.end() || !it->second.action) return UIE_BadControl;
    if (it->second.callback) it->second.callback(p->menuBarHandle, menuItem, nullptr, panel);
    return 0;
}

int SimulateTimerTick(int panel, int control) {
    Control* c = findControl(panel, control);
    if (!c) return findPanel(panel) ? UIE_BadControl : UIE_BadPanelHandle;
    if (!c->timer) return UIE_WrongControlType;
    if (!c->timerEnabled) return 0;
    dispatchTick(panel, control);
    return 1;
}

bool WaitUntil(const std::function<bool()>& condition, double seconds) {
    QElapsedTimer clock;
    clock.start();
    QTimer nudge; // bounds each wait for events, so the condition is looked at often
    nudge.start(5);
    while (!condition()) {
        if (clock.elapsed() > seconds * 1000) return condition();
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    return true;
}

const std::vector<std::string>& TrayIconHistory() { return g_trayHistory; }
void ClearTrayIconHistory() { g_trayHistory.clear(); }
std::string CurrentTrayIconImage() { return g_trayImage; }
bool TrayIconInstalled() { return g_trayInstalled; }

std::vector<int> LoadedPanels() {
    std::vector<int> handles;
    for (auto& [handle, p] : g_panels) handles.push_back(handle);
    return handles;
}

int FindPanelByTitle(const std::string& title) {
    for (auto& [handle, p] : g_panels)
        if (ss(p->window->windowTitle()) == title) return handle;
    return 0;
}

int SavePanelImage(int panel, const std::string& pngPath) {
    Panel* p = findPanel(panel);
    if (!p) return UIE_BadPanelHandle;
    p->window->ensurePolished();
    QCoreApplication::processEvents();
    return p->window->grab().save(qs(pngPath), "PNG") ? 1 : 0;
}
