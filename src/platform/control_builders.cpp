// One builder per control type. Each makes the control's widget and connects the user's actions
// to the control's callback; what every control has (geometry, caption, font, visibility,
// dimming) is applied afterwards in one place.
#include "platform/control_builders.h"

#include <QApplication>
#include <QComboBox>
#include <QDateTime>
#include <QFontDatabase>
#include <QGroupBox>
#include <QIcon>
#include <QJsonArray>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QDateTimeAxis>
#include <QtCharts/QPolarChart>
#include <QtCharts/QValueAxis>
#include <climits>
#include <cmath>

#include "platform/widgets.h"

namespace platform {

namespace {

// What a builder needs to know of the control it builds.
struct Build {
    Panel& panel;
    Control& control;
    const QJsonObject& o;
    QWidget* parent;
    QRect geometry;
    QString label;
};

using Builder = QWidget* (*)(Build& b);

int alignmentOf(const QString& align, int fallback) {
    if (align == "left") return Qt::AlignLeft | Qt::AlignVCenter;
    if (align == "center") return Qt::AlignCenter;
    if (align == "right") return Qt::AlignRight | Qt::AlignVCenter;
    if (align == "top") return Qt::AlignLeft | Qt::AlignTop;
    return fallback;
}

Qt::Alignment alignment(const QJsonObject& o, int fallback) {
    return static_cast<Qt::Alignment>(alignmentOf(o.value("align").toString(), fallback));
}

QString textStyle(const QJsonObject& o) {
    QString style;
    if (o.contains("color")) style += QString("color: %1;").arg(o.value("color").toString());
    return style;
}

void applyFont(QWidget* w, const QJsonObject& o) {
    QFont f = w->font();
    // "monospace": the system's fixed-width font, for columns of hex bytes.
    if (o.value("font_family").toString() == "monospace") {
        const qreal size = f.pointSizeF();
        f = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        f.setPointSizeF(size);
    }
    if (o.contains("font_size")) f.setPointSizeF(o.value("font_size").toDouble());
    if (o.value("bold").toBool(false)) f.setBold(true);
    w->setFont(f);
}

// A commit on this control, bound by handle and number: the widget may outlive its panel's entry.
auto commitOf(const Build& b) {
    return [panel = b.panel.handle, id = b.control.id]() { DispatchCommit(panel, id); };
}

QWidget* buildIndicator(Build& b) {
    auto* l = new QLabel(b.parent);
    l->setAlignment(alignment(b.o, Qt::AlignRight | Qt::AlignVCenter));
    l->setObjectName("valueDisplay");
    l->setStyleSheet("QLabel#valueDisplay { background: white; border: 1px solid #b9c2cc;"
                     " border-radius: 3px; padding: 0px 6px; " +
                     textStyle(b.o) +
                     " } QLabel#valueDisplay:disabled { background: #eef1f4; color: #9aa3ad; }");
    l->setText(FormatNumber(b.control, b.control.value));
    return l;
}

QWidget* buildNumeric(Build& b) {
    Control& c = b.control;
    const QString data = b.o.value("data").toString("double");
    c.data = data == "int" ? NumData::Int : data == "unsigned" ? NumData::Unsigned : NumData::Double;
    c.precision = b.o.value("precision").toInt(c.data == NumData::Double ? 2 : 0);
    c.indicator = b.o.value("indicator").toBool(false);
    c.value = b.o.value("value").toDouble(0);
    if (c.indicator) return buildIndicator(b);
    const double lo = b.o.value("min").toDouble(c.data == NumData::Unsigned ? 0 : -1e9);
    const double hi = b.o.value("max").toDouble(1e9);
    auto* field = new NumberField(b.parent, c.data == NumData::Double ? c.precision : 0, lo, hi);
    field->setValue(c.value);
    // A password is typed without showing its digits.
    field->setSecret(b.o.value("secret").toBool(false));
    field->committed = commitOf(b);
    return field;
}

QWidget* buildString(Build& b) {
    auto* e = new QLineEdit(b.parent);
    e->setText(b.o.value("value").toString());
    // A text too long for the analyser, or holding characters it cannot keep as single bytes, is
    // kept as typed and marked rather than cut.
    if (b.o.contains("max_length") || b.o.value("ascii").toBool(false))
        LimitText(e, b.o.value("max_length").toInt(0), b.o.value("ascii").toBool(false));
    QObject::connect(e, &QLineEdit::editingFinished, [commit = commitOf(b), e]() {
        if (!e->isModified()) return;
        e->setModified(false);
        commit();
    });
    return e;
}

QWidget* buildTextMessage(Build& b) {
    auto* l = new QLabel(b.parent);
    l->setText(b.o.contains("value") ? b.o.value("value").toString() : b.label);
    l->setAlignment(alignment(b.o, Qt::AlignLeft | Qt::AlignVCenter));
    QString style = textStyle(b.o);
    if (b.o.contains("background"))
        style += QString("background: %1; border-radius: 4px; padding: 2px 8px;")
                     .arg(b.o.value("background").toString());
    if (!style.isEmpty()) l->setStyleSheet(style);
    l->setWordWrap(b.o.value("wrap").toBool(false));
    return l;
}

QWidget* buildTextBox(Build& b) {
    auto* e = new QLineEdit(b.parent);
    e->setReadOnly(true);
    e->setProperty("readOnlyField", true); // a label to a screen reader
    e->setText(b.o.value("value").toString());
    e->setAlignment(alignment(b.o, Qt::AlignLeft | Qt::AlignVCenter));
    e->setFocusPolicy(Qt::NoFocus);
    return e;
}

QWidget* buildButton(Build& b) {
    auto* button = new QPushButton(b.label, b.parent);
    QObject::connect(button, &QPushButton::clicked, commitOf(b));
    return button;
}

QWidget* buildPictureToggle(Build& b) {
    auto* button = new QToolButton(b.parent);
    button->setCheckable(true);
    button->setChecked(b.o.value("value").toInt(0) != 0);
    button->setIcon(QIcon(resolvePath(ss(b.o.value("image").toString()))));
    button->setIconSize(QSize(b.geometry.width() - 8, b.geometry.height() - 8));
    button->setAutoRaise(false);
    QObject::connect(button, &QToolButton::clicked, commitOf(b));
    return button;
}

QWidget* buildSwitch(Build& b) {
    auto* s = new SwitchWidget(b.parent);
    s->setStateTexts(b.o.value("on_text").toString("On"), b.o.value("off_text").toString("Off"));
    s->setChecked(b.o.value("value").toInt(0) != 0);
    QObject::connect(s, &QAbstractButton::clicked, commitOf(b));
    return s;
}

// Reads a ring's or list box's items; returns the index of the initial value.
int readItems(Build& b) {
    Control& c = b.control;
    for (const QJsonValue& iv : b.o.value("items").toArray()) {
        const QJsonObject item = iv.toObject();
        c.items.push_back({ss(item.value("label").toString()), item.value("value").toInt()});
    }
    const int initial = b.o.value("value").toInt(c.items.empty() ? 0 : c.items.front().value);
    int index = 0;
    for (size_t i = 0; i < c.items.size(); ++i)
        if (c.items[i].value == initial) index = static_cast<int>(i);
    return index;
}

QWidget* buildRing(Build& b) {
    const int index = readItems(b);
    auto* box = new QComboBox(b.parent);
    for (const ListItem& it : b.control.items) box->addItem(qs(it.label));
    box->setCurrentIndex(index);
    QObject::connect(box, &QComboBox::activated, [commit = commitOf(b)](int) { commit(); });
    return box;
}

QWidget* buildListBox(Build& b) {
    const int index = readItems(b);
    auto* list = new QListWidget(b.parent);
    // Items are single lines: a list of thousands stays quick to add to and to scroll.
    list->setUniformItemSizes(true);
    list->setTextElideMode(Qt::ElideNone); // a long line scrolls sideways rather than losing its end
    for (const ListItem& it : b.control.items) list->addItem(qs(it.label));
    list->setCurrentRow(b.control.items.empty() ? -1 : index);
    QObject::connect(list, &QListWidget::itemClicked, [commit = commitOf(b)](QListWidgetItem*) { commit(); });
    return list;
}

// A timer has no widget: it ticks while enabled.
QWidget* buildTimer(Build& b) {
    Control& c = b.control;
    c.timer = new QTimer(b.panel.window);
    c.timer->setInterval(static_cast<int>(std::lround(b.o.value("interval").toDouble(1.0) * 1000)));
    c.timerEnabled = b.o.value("enabled").toBool(false);
    QObject::connect(c.timer, &QTimer::timeout,
                     [panel = b.panel.handle, id = c.id]() { DispatchTick(panel, id); });
    if (c.timerEnabled) c.timer->start();
    return nullptr;
}

QValueAxis* newAxis(const QJsonObject& o, const char* title, const QFont& font) {
    auto* axis = new QValueAxis();
    axis->setLabelFormat("%g");
    axis->setLabelsFont(font);
    if (o.contains(title)) axis->setTitleText(o.value(title).toString()), axis->setTitleFont(font);
    axis->setTickCount(5);
    // The chart's own label column is sometimes too narrow for negative numbers; a number is
    // never shown as "...".
    axis->setTruncateLabels(false);
    return axis;
}

QWidget* buildGraph(Build& b) {
    // A polar graph: x the angle (0 at the top, clockwise, as a compass), y the distance from the centre.
    QChart* chart = b.o.value("polar").toBool() ? new QPolarChart() : new QChart();
    chart->legend()->hide();
    chart->setMargins(QMargins(2, 2, 2, 2));
    chart->setBackgroundRoundness(3);
    QFont axisFont = QApplication::font();
    axisFont.setPointSizeF(7.5);
    QValueAxis* ay = newAxis(b.o, "y_label", axisFont);
    ay->setRange(b.o.value("ymin").toDouble(0), b.o.value("ymax").toDouble(10));
    b.control.fixedY = b.o.contains("ymin") && b.o.contains("ymax");
    if (b.o.value("x_axis").toString() == "time") {
        // The local time of day; values are milliseconds since 1970.
        auto* ax = new QDateTimeAxis();
        ax->setFormat("HH:mm:ss");
        ax->setLabelsFont(axisFont);
        ax->setTickCount(6);
        ax->setTruncateLabels(false);
        const qint64 now = QDateTime::currentMSecsSinceEpoch();
        ax->setRange(QDateTime::fromMSecsSinceEpoch(now - 60000), QDateTime::fromMSecsSinceEpoch(now));
        chart->addAxis(ax, Qt::AlignBottom);
    } else {
        QValueAxis* ax = newAxis(b.o, "x_label", axisFont);
        ax->setRange(b.o.value("xmin").toDouble(0), b.o.value("xmax").toDouble(10));
        b.control.fixedX = b.o.contains("xmin") && b.o.contains("xmax");
        chart->addAxis(ax, Qt::AlignBottom);
    }
    chart->addAxis(ay, Qt::AlignLeft);
    if (b.o.value("polar").toBool()) {
        // A diagram of directions: a line every 30°, three rings, no numbers.
        static_cast<QValueAxis*>(chart->axes(Qt::Horizontal).value(0))->setTickCount(13);
        ay->setTickCount(4);
        for (QAbstractAxis* axis : chart->axes()) axis->setLabelsVisible(false);
    }
    if (b.o.value("legend").toBool()) {
        chart->legend()->setAlignment(Qt::AlignBottom);
        chart->legend()->setFont(QApplication::font());
        chart->legend()->show();
    }
    auto* view = new QChartView(chart, b.parent);
    view->setFocusPolicy(Qt::NoFocus); // a picture; nothing in it takes a key
    view->setRenderHint(QPainter::Antialiasing);
    view->setFrameShape(QFrame::StyledPanel);
    return view;
}

QWidget* buildGauge(Build& b) {
    auto* g = new GaugeWidget(b.parent);
    g->setRange(b.o.value("min").toDouble(0), b.o.value("max").toDouble(100));
    g->setPrecision(b.o.value("precision").toInt(2));
    g->setValue(b.o.value("value").toDouble(0));
    return g;
}

QWidget* buildDecoration(Build& b) { return new QGroupBox(b.label, b.parent); }

QWidget* buildProgress(Build& b) {
    auto* bar = new QProgressBar(b.parent);
    bar->setRange(0, 100);
    bar->setValue(0);
    return bar;
}

struct ControlKind {
    const char* name;
    int type;
    Builder build;
};

const ControlKind kKinds[] = {
    {"numeric", CTRL_NUMERIC, buildNumeric},
    {"string", CTRL_STRING, buildString},
    {"textmsg", CTRL_TEXT_MSG, buildTextMessage},
    {"textbox", CTRL_TEXT_BOX, buildTextBox},
    {"button", CTRL_COMMAND_BUTTON, buildButton},
    {"picturebutton", CTRL_PICTURE_TOGGLE, buildPictureToggle},
    {"switch", CTRL_BINARY_SWITCH, buildSwitch},
    {"ring", CTRL_RING, buildRing},
    {"listbox", CTRL_LIST_BOX, buildListBox},
    {"timer", CTRL_TIMER, buildTimer},
    {"graph", CTRL_GRAPH, buildGraph},
    {"gauge", CTRL_GAUGE, buildGauge},
    {"decoration", CTRL_DECORATION, buildDecoration},
    {"progress", CTRL_PROGRESS, buildProgress},
};

Builder builderOf(int type) {
    for (const ControlKind& k : kKinds)
        if (k.type == type) return k.build;
    return nullptr;
}

// The caption: beside or above every control that shows its label apart from itself.
void addCaption(Build& b) {
    Control& c = b.control;
    const bool hasCaption = c.type != CTRL_COMMAND_BUTTON && c.type != CTRL_TEXT_MSG &&
                            c.type != CTRL_DECORATION && !b.label.isEmpty();
    c.captionLeft = b.o.value("label_position").toString() == "left";
    if (!hasCaption) return;
    c.caption = new QLabel(b.label, b.parent);
    if (b.o.contains("caption_size")) {
        QFont f = c.caption->font();
        f.setPointSizeF(b.o.value("caption_size").toDouble());
        c.caption->setFont(f);
    }
    PlaceCaption(c);
}

} // namespace

int ControlTypeFromName(const QString& name) {
    for (const ControlKind& k : kKinds)
        if (name == k.name) return k.type;
    return 0;
}

void BuildControl(Panel& p, Control& c, const QJsonObject& o) {
    Build b{p,
            c,
            o,
            p.content,
            QRect(o.value("left").toInt(), o.value("top").toInt(), o.value("width").toInt(80),
                  o.value("height").toInt(22)),
            o.value("label").toString()};
    const Builder build = builderOf(c.type);
    if (!build) return;
    c.widget = build(b);
    if (!c.widget) return;

    c.widget->setGeometry(b.geometry);
    applyFont(c.widget, o);
    c.shortcut = o.value("shortcut").toString();
    c.widget->setProperty("announce", o.value("announce").toBool(false));
    if (o.contains("tooltip")) c.widget->setToolTip(o.value("tooltip").toString());
    addCaption(b);
    // A screen reader names a control by its caption, or by the name its panel gives it.
    if (c.caption) c.widget->setAccessibleName(b.label.simplified());
    if (o.contains("accessible_name")) c.widget->setAccessibleName(o.value("accessible_name").toString());
    if (c.type == CTRL_DECORATION) c.widget->lower();
    const bool visible = o.value("visible").toBool(true);
    c.widget->setVisible(visible);
    if (c.caption) c.caption->setVisible(visible);
    const bool dimmed = o.value("dimmed").toBool(false);
    c.widget->setEnabled(!dimmed);
    if (c.caption) c.caption->setEnabled(!dimmed);
}

} // namespace platform
