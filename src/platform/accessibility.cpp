// What a screen reader is told of the program's own widgets, beyond what Qt says of them: a value
// display is named by its quantity and reads out its number with its unit; a selector is named by
// its caption, with its choice as its value and text (Qt names it by its choice); a read-only text
// is a label; a chart is a picture with nothing inside to visit; a gauge is a dial with a
// value; and what must be said wherever the focus is (a notice, the status line) is said by an
// alert that is shown, which screen readers speak, unlike Qt's Alert event, which no bridge carries.
#include "platform/accessibility.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <cmath>

#include "platform/panel_table.h"
#include "platform/widgets.h"

namespace platform {

namespace {

// A read-only text: the whole of it, whatever the boundary asked for.
class ReadOnlyText : public QAccessibleTextInterface {
  public:
    virtual QString all() const = 0;

    void selection(int, int* start, int* end) const override { *start = *end = 0; }
    int selectionCount() const override { return 0; }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    int cursorPosition() const override { return 0; }
    void setCursorPosition(int) override {}
    QString text(int start, int end) const override { return all().mid(start, end < 0 ? -1 : end - start); }
    QString textBeforeOffset(int, QAccessible::TextBoundaryType, int* start, int* end) const override {
        *start = *end = -1;
        return {};
    }
    QString textAfterOffset(int, QAccessible::TextBoundaryType, int* start, int* end) const override {
        *start = *end = -1;
        return {};
    }
    QString textAtOffset(int offset, QAccessible::TextBoundaryType boundary, int* start, int* end) const override {
        const QString whole = all();
        if (boundary == QAccessible::CharBoundary && offset >= 0 && offset < whole.size()) {
            *start = offset;
            *end = offset + 1;
            return whole.mid(offset, 1);
        }
        *start = 0;
        *end = static_cast<int>(whole.size());
        return whole;
    }
    int characterCount() const override { return static_cast<int>(all().size()); }
    QRect characterRect(int) const override { return {}; }
    int offsetAtPoint(const QPoint&) const override { return -1; }
    void scrollToSubstring(int, int) override {}
    QString attributes(int, int* start, int* end) const override {
        *start = 0;
        *end = characterCount();
        return {};
    }
};

// A widget a screen reader reads whole, its text being its value too.
class TextWidget : public QAccessibleWidget, public ReadOnlyText {
  public:
    TextWidget(QWidget* w, QAccessible::Role role) : QAccessibleWidget(w, role) {}
    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Value) return all();
        return QAccessibleWidget::text(t);
    }
    void* interface_cast(QAccessible::InterfaceType t) override {
        if (t == QAccessible::TextInterface) return static_cast<QAccessibleTextInterface*>(this);
        return QAccessibleWidget::interface_cast(t);
    }
};

// A value display: "Voltage L-N L1", reading "230.1 V". Its name does not change with its value.
class ValueDisplay : public TextWidget {
  public:
    explicit ValueDisplay(QWidget* w) : TextWidget(w, QAccessible::StaticText) {}
    QString all() const override {
        const QString shown = static_cast<QLabel*>(widget())->text();
        const QString unit = widget()->property("unit").toString();
        return unit.isEmpty() ? shown : shown + " " + unit;
    }
};

// A selector named by its caption; its choice is its value and its text (what a screen reader
// reads after the name: "Baud rate, combo box, 19200"), and its list its one child.
class Selector : public TextWidget {
  public:
    explicit Selector(QWidget* w) : TextWidget(w, QAccessible::ComboBox) {
        addControllingSignal(QLatin1String("activated(int)"));
    }
    QComboBox* box() const { return static_cast<QComboBox*>(widget()); }
    QString all() const override { return box()->currentText(); }
    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name && widget()->accessibleName().isEmpty()) return all();
        return TextWidget::text(t);
    }
    int childCount() const override { return 1; }
    QAccessibleInterface* child(int index) const override {
        return index == 0 ? QAccessible::queryAccessibleInterface(box()->view()) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        return child && child->object() == box()->view() ? 0 : -1;
    }
    QStringList actionNames() const override { return {showMenuAction(), pressAction()}; }
    void doAction(const QString& action) override {
        if (action == showMenuAction() || action == pressAction()) box()->showPopup();
    }
};

// A dial: what it shows, as a value within its range.
class Dial : public QAccessibleWidget, public QAccessibleValueInterface {
  public:
    explicit Dial(QWidget* w) : QAccessibleWidget(w, QAccessible::Dial) {}
    GaugeWidget* gauge() const { return static_cast<GaugeWidget*>(widget()); }
    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Value) return QString::number(gauge()->value(), 'f', gauge()->precision());
        // The scale it is read against ("Full scale 20"), where the panel names one: the analyser
        // states an output's full scale, not its unit.
        const QString scale = widget()->property("unit").toString();
        if (t == QAccessible::Description && !scale.isEmpty())
            return scale + ' ' + QString::number(gauge()->maximum());
        return QAccessibleWidget::text(t);
    }
    QVariant currentValue() const override { return gauge()->value(); }
    void setCurrentValue(const QVariant&) override {}
    QVariant maximumValue() const override { return gauge()->maximum(); }
    QVariant minimumValue() const override { return gauge()->minimum(); }
    QVariant minimumStepSize() const override { return 0; }
    void* interface_cast(QAccessible::InterfaceType t) override {
        if (t == QAccessible::ValueInterface) return static_cast<QAccessibleValueInterface*>(this);
        return QAccessibleWidget::interface_cast(t);
    }
};

// A two-state button (the switch, a relay's picture button): its toggle is a click, as the
// operator's is, and comes after the screen reader has had its answer (Qt's own toggles it without
// a click, which the program would not hear of).
class Toggle : public QAccessibleWidget {
  public:
    explicit Toggle(QWidget* w) : QAccessibleWidget(w, QAccessible::CheckBox) {}
    QAbstractButton* button() const { return static_cast<QAbstractButton*>(widget()); }
    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        s.checkable = true;
        s.checked = button()->isChecked();
        return s;
    }
    QStringList actionNames() const override { return {toggleAction(), pressAction()}; }
    void doAction(const QString& action) override {
        if ((action == toggleAction() || action == pressAction()) && button()->isEnabled()) button()->animateClick();
    }
};

// A text a view shows and nobody edits (the status page's model, serial number, date and time):
// read as a label, not offered as a field to type into.
class ReadOnlyField : public TextWidget {
  public:
    explicit ReadOnlyField(QWidget* w) : TextWidget(w, QAccessible::StaticText) {}
    QString all() const override { return static_cast<QLineEdit*>(widget())->text(); }
};

// A chart: a picture of what its name says; nothing inside it takes the focus or needs a name.
class Chart : public QAccessibleWidget {
  public:
    explicit Chart(QWidget* w) : QAccessibleWidget(w, QAccessible::Chart) {}
    int childCount() const override { return 0; }
    QAccessibleInterface* child(int) const override { return nullptr; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
};

// What is said: an alert whose name is the words, shown anew for each.
class Alert : public QAccessibleWidget {
  public:
    explicit Alert(QWidget* w) : QAccessibleWidget(w, QAccessible::AlertMessage) {}
    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name || t == QAccessible::Value) return widget()->property("said").toString();
        return QAccessibleWidget::text(t);
    }
};

QAccessibleInterface* factory(const QString& className, QObject* object) {
    auto* w = qobject_cast<QWidget*>(object);
    if (!w) return nullptr;
    if (className == QLatin1String("QLabel") && w->objectName() == QLatin1String("valueDisplay")) return new ValueDisplay(w);
    if (className == QLatin1String("QLabel") && w->objectName() == QLatin1String("alert")) return new Alert(w);
    if (className == QLatin1String("QComboBox")) return new Selector(w);
    if ((className == QLatin1String("QAbstractButton") || className == QLatin1String("QToolButton")) &&
        static_cast<QAbstractButton*>(w)->isCheckable())
        return new Toggle(w);
    if (className == QLatin1String("QWidget") && dynamic_cast<GaugeWidget*>(w)) return new Dial(w);
    // A chart is a picture of what its name says, not a scroll area.
    if (className == QLatin1String("QChartView")) return new Chart(w);
    if (className == QLatin1String("QLineEdit") && w->property("readOnlyField").toBool()) return new ReadOnlyField(w);
    return nullptr;
}

} // namespace

void InstallAccessibility() { QAccessible::installFactory(factory); }

void ShowValueText(QLabel* display, const QString& text) {
    const QString before = display->text();
    if (before == text) return; // a refresh that changes nothing says nothing
    display->setText(text);
    QAccessibleTextUpdateEvent changed(display, 0, before, text);
    QAccessible::updateAccessibility(&changed);
}

std::vector<std::string> g_announced; // for the tests' eyes

void Announce(QWidget* window, const QString& words) {
    if (!window || words.isEmpty()) return;
    Remember(g_announced, words.toStdString());
    auto* alert = window->findChild<QLabel*>(QStringLiteral("alert"), Qt::FindDirectChildrenOnly);
    if (!alert) {
        // Drawn as nothing: it is there to be spoken.
        alert = new QLabel(window);
        alert->setObjectName(QStringLiteral("alert"));
        alert->setGeometry(0, 0, 1, 1);
        alert->setAttribute(Qt::WA_TransparentForMouseEvents);
    }
    alert->hide();
    alert->setProperty("said", words);
    alert->show();
}

} // namespace platform

const std::vector<std::string>& Announcements() { return platform::g_announced; }
void ClearAnnouncements() { platform::g_announced.clear(); }
