// Control values and the items of rings and list boxes. Programmatic changes never fire a commit.
#include <QAbstractButton>
#include <QComboBox>
#include <QFont>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QScrollBar>
#include <climits>
#include <cmath>

#include "platform/accessibility.h"
#include "platform/panel_table.h"
#include "platform/widgets.h"

using namespace platform;

namespace {

constexpr double kSmallestPointSize = 6.0;

// A number that no notation fits in its display's font takes a smaller font, down to a size that
// can still be read; the display's own font comes back with the next value that fits.
void showNumber(const Control& c, QLabel* display, double value) {
    if (!display->property("ownFont").isValid()) display->setProperty("ownFont", display->font());
    QFont font = display->property("ownFont").value<QFont>();
    const int width = display->contentsRect().width();
    QString text = FitNumber(c, value, QFontMetrics(font), width);
    while (QFontMetrics(font).horizontalAdvance(text) > width && font.pointSizeF() > kSmallestPointSize) {
        font.setPointSizeF(std::max(kSmallestPointSize, font.pointSizeF() - 0.5));
        text = FitNumber(c, value, QFontMetrics(font), width);
    }
    display->setFont(font);
    ShowValueText(display, text);
}

// A list of single lines gives every line the size of its last (that keeps thousands of lines
// quick), so each line carries the width of the widest: a long line can be scrolled to its end.
void keepWidestLine(QListWidget* list, QListWidgetItem* added) {
    const int before = list->property("widest").toInt();
    const int widest = std::max(before, list->fontMetrics().horizontalAdvance(added->text()) + 12);
    list->setProperty("widest", widest);
    added->setSizeHint(QSize(widest, list->fontMetrics().height() + 4));
    if (widest > before) list->doItemsLayout(); // every line takes the new width
}

} // namespace

int SetCtrlVal(int panel, int control, double value) {
    Control* c = findControl(panel, control);
    if (!c) return missingControl(panel);
    switch (c->type) {
    case CTRL_NUMERIC:
        // A whole-number field drops the fraction; NaN and infinity stay what they are.
        if (c->data != NumData::Double && std::isfinite(value)) value = std::trunc(value);
        c->value = value;
        if (c->indicator)
            showNumber(*c, static_cast<QLabel*>(c->widget), value);
        else
            static_cast<NumberField*>(c->widget)->setValue(value);
        return 0;
    case CTRL_GAUGE: static_cast<GaugeWidget*>(c->widget)->setValue(value); return 0;
    case CTRL_PROGRESS:
        static_cast<QProgressBar*>(c->widget)->setValue(
            std::isfinite(value) ? static_cast<int>(std::clamp(value, 0.0, 100.0)) : 0);
        return 0;
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
    if (!c) return missingControl(panel);
    switch (c->type) {
    case CTRL_TEXT_MSG: {
        auto* label = static_cast<QLabel*>(c->widget);
        if (label->text() == qs(value)) return 0;
        label->setText(qs(value));
        // A notice or a status line is said by a screen reader when it changes, wherever the focus is.
        if (label->property("announce").toBool()) Announce(label->window(), qs(value));
        return 0;
    }
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
    if (!c) return missingControl(panel);
    switch (c->type) {
    case CTRL_NUMERIC: value = c->indicator ? c->value : static_cast<NumberField*>(c->widget)->value(); return 0;
    case CTRL_GAUGE: value = static_cast<GaugeWidget*>(c->widget)->value(); return 0;
    case CTRL_PROGRESS: value = static_cast<QProgressBar*>(c->widget)->value(); return 0;
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
    // NaN reads as 0 and anything beyond the type as its nearest end: never an undefined conversion.
    value = std::isnan(v) ? 0 : static_cast<int>(std::clamp<double>(std::trunc(v), INT_MIN, INT_MAX));
    return 0;
}

int GetCtrlVal(int panel, int control, unsigned& value) {
    double v = 0;
    const int r = GetCtrlVal(panel, control, v);
    if (r < 0) return r;
    value =
        std::isnan(v)
            ? 0u
            : static_cast<unsigned>(static_cast<long long>(std::clamp<double>(std::trunc(v), -1e18, 1e18)));
    return 0;
}

int GetCtrlVal(int panel, int control, std::string& value) {
    Control* c = findControl(panel, control);
    if (!c) return missingControl(panel);
    switch (c->type) {
    case CTRL_TEXT_MSG: value = ss(static_cast<QLabel*>(c->widget)->text()); return 0;
    case CTRL_STRING:
    case CTRL_TEXT_BOX: value = ss(static_cast<QLineEdit*>(c->widget)->text()); return 0;
    case CTRL_RING: value = ss(static_cast<QComboBox*>(c->widget)->currentText()); return 0;
    case CTRL_NUMERIC: // what a display shows, or what was typed into a field
        value = ss(c->indicator ? static_cast<QLabel*>(c->widget)->text()
                                : static_cast<NumberField*>(c->widget)->entry());
        return 0;
    default: return UIE_WrongControlType;
    }
}

int InsertListItem(int panel, int control, int index, const std::string& label, int value) {
    Control* c = findControl(panel, control);
    if (!c) return missingControl(panel);
    if (c->type != CTRL_RING && c->type != CTRL_LIST_BOX) return UIE_WrongControlType;
    const int count = static_cast<int>(c->items.size());
    if (index < 0 || index > count) index = count;
    c->items.insert(c->items.begin() + index, {label, value});
    const QSignalBlocker block(c->widget);
    if (auto* box = qobject_cast<QComboBox*>(c->widget)) box->insertItem(index, qs(label));
    if (auto* list = qobject_cast<QListWidget*>(c->widget)) {
        // A list scrolled to its end follows what is added there, as a log does.
        const QScrollBar* bar = list->verticalScrollBar();
        const bool following = index == count && bar->value() == bar->maximum();
        list->insertItem(index, qs(label));
        keepWidestLine(list, list->item(index));
        if (list->currentRow() < 0) list->setCurrentRow(0);
        if (following) list->scrollToBottom();
    }
    return 0;
}

int DeleteListItem(int panel, int control, int index) {
    Control* c = findControl(panel, control);
    if (!c) return missingControl(panel);
    if (c->type != CTRL_RING && c->type != CTRL_LIST_BOX) return UIE_WrongControlType;
    if (index < 0 || index >= static_cast<int>(c->items.size())) return UIE_ValueNotInList;
    c->items.erase(c->items.begin() + index);
    const QSignalBlocker block(c->widget);
    if (auto* box = qobject_cast<QComboBox*>(c->widget)) box->removeItem(index);
    if (auto* list = qobject_cast<QListWidget*>(c->widget)) delete list->takeItem(index);
    return 0;
}

int ClearListCtrl(int panel, int control) {
    Control* c = findControl(panel, control);
    if (!c) return missingControl(panel);
    if (c->type != CTRL_RING && c->type != CTRL_LIST_BOX) return UIE_WrongControlType;
    c->items.clear();
    const QSignalBlocker block(c->widget);
    if (auto* box = qobject_cast<QComboBox*>(c->widget)) box->clear();
    if (auto* list = qobject_cast<QListWidget*>(c->widget)) {
        list->clear();
        list->setProperty("widest", 0);
    }
    return 0;
}

int GetNumListItems(int panel, int control, int& count) {
    Control* c = findControl(panel, control);
    if (!c) return missingControl(panel);
    count = static_cast<int>(c->items.size());
    return 0;
}

int GetLabelFromIndex(int panel, int control, int index, std::string& label) {
    Control* c = findControl(panel, control);
    if (!c) return missingControl(panel);
    if (index < 0 || index >= static_cast<int>(c->items.size())) return UIE_ValueNotInList;
    label = c->items[static_cast<size_t>(index)].label;
    return 0;
}

int GetValueFromIndex(int panel, int control, int index, int& value) {
    Control* c = findControl(panel, control);
    if (!c) return missingControl(panel);
    if (index < 0 || index >= static_cast<int>(c->items.size())) return UIE_ValueNotInList;
    value = c->items[static_cast<size_t>(index)].value;
    return 0;
}
