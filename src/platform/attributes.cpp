// Control attributes, and timers.
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <QtCharts/QChartView>
#include <algorithm>
#include <climits>
#include <cmath>

#include "platform/accessibility.h"
#include "platform/panel_table.h"
#include "platform/widgets.h"

using namespace platform;

int SetCtrlAttribute(int panel, int control, int attribute, int value) {
    Control* c = findControl(panel, control);
    if (!c) return missingControl(panel);
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
        PlaceCaption(*c);
        return 0;
    }
    case ATTR_SIZE_TO_TEXT:
        if (value) c->widget->adjustSize();
        return 0;
    case ATTR_NO_VALUE:
        if (value == 0) return 0;
        if (c->type == CTRL_NUMERIC && c->indicator) {
            ShowValueText(static_cast<QLabel*>(c->widget), kNoValueText);
            return 0;
        }
        if (c->type == CTRL_TEXT_BOX) {
            static_cast<QLineEdit*>(c->widget)->setText(kNoValueText);
            return 0;
        }
        return UIE_WrongControlType;
    case ATTR_MORE_DIGITS:
        if (c->type != CTRL_NUMERIC || !c->indicator) return UIE_WrongControlType;
        c->moreDigits = std::clamp(value, 0, 6); // shown from the next value on
        return 0;
    case ATTR_NOTICE_STYLE: {
        auto* label = qobject_cast<QLabel*>(c->widget);
        if (c->type != CTRL_TEXT_MSG || !label) return UIE_WrongControlType;
        label->setWordWrap(value != 0);
        label->setProperty("announce", value != 0); // a notice is said when it comes, and when it changes
        if (value != 0) Announce(label->window(), label->text());
        label->setStyleSheet(value
                                 ? "QLabel { background: #fff4d6; color: #5a3d00; border: 1px solid #e0b44c;"
                                   " border-radius: 4px; padding: 6px 10px; }"
                                 : "");
        return 0;
    }
    case ATTR_MAX_VALUE:
    case ATTR_MIN_VALUE: return SetCtrlAttribute(panel, control, attribute, static_cast<double>(value));
    default: return UIE_BadAttribute;
    }
}

int SetCtrlAttribute(int panel, int control, int attribute, double value) {
    Control* c = findControl(panel, control);
    if (!c) return missingControl(panel);
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
    if (auto* n = dynamic_cast<NumberField*>(c->widget)) {
        if (max)
            n->setRange(n->minimum(), value);
        else
            n->setRange(value, n->maximum());
        return 0;
    }
    return UIE_BadAttribute;
}

int SetCtrlAttribute(int panel, int control, int attribute, const std::string& value) {
    Control* c = findControl(panel, control);
    if (!c) return missingControl(panel);
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
            PlaceCaption(*c);
            // The name a screen reader gives the control follows its caption, and so the language.
            c->widget->setAccessibleName(qs(value).simplified());
        }
        return 0;
    case ATTR_DESCRIPTION:
        c->widget->setProperty("rq55OwnDescription", true);
        c->widget->setAccessibleDescription(qs(value));
        return 0;
    case ATTR_ACCESSIBLE_NAME: c->widget->setAccessibleName(qs(value)); return 0;
    case ATTR_UNIT: c->widget->setProperty("unit", qs(value)); return 0;
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
    case ATTR_TOOLTIP_TEXT:
        // A field marked as holding what cannot be sent keeps saying so until it fits again.
        c->widget->setProperty("ownTooltip", qs(value));
        if (ValueFits(c->widget)) c->widget->setToolTip(qs(value));
        return 0;
    case ATTR_YNAME:
        if (c->type != CTRL_GRAPH) return UIE_WrongControlType;
        SetGraphYName(*c, qs(value));
        return 0;
    default: return UIE_BadAttribute;
    }
}

int SetCtrlAttribute(int panel, int control, int attribute, const char* value) {
    return SetCtrlAttribute(panel, control, attribute, std::string(value ? value : ""));
}

int GetCtrlAttribute(int panel, int control, int attribute, int& value) {
    Control* c = findControl(panel, control);
    if (!c) return missingControl(panel);
    if (attribute == ATTR_CTRL_VAL) return GetCtrlVal(panel, control, value);
    if (c->type == CTRL_TIMER) {
        if (attribute != ATTR_ENABLED) return UIE_BadAttribute;
        value = c->timerEnabled ? 1 : 0;
        return 0;
    }
    switch (attribute) {
    case ATTR_DIMMED: value = c->widget->isEnabled() ? 0 : 1; return 0;
    case ATTR_ENTRY_FAULT: value = EntryFaultOf(c->widget); return 0;
    case ATTR_MAX_ENTRY_LENGTH: value = c->widget->property("rq55MaxLength").toInt(); return 0;
    case ATTR_PRECISION: value = c->data == NumData::Double ? c->precision : 0; return 0;
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
    if (!c) return missingControl(panel);
    if (attribute == ATTR_CTRL_VAL) return GetCtrlVal(panel, control, value);
    if (attribute == ATTR_INTERVAL && c->timer) {
        value = c->timer->interval() / 1000.0;
        return 0;
    }
    if (attribute == ATTR_MAX_VALUE || attribute == ATTR_MIN_VALUE) {
        const bool max = attribute == ATTR_MAX_VALUE;
        if (auto* g = dynamic_cast<GaugeWidget*>(c->widget))
            value = max ? g->maximum() : g->minimum();
        else if (auto* n = dynamic_cast<NumberField*>(c->widget))
            value = max ? n->maximum() : n->minimum();
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
    if (!c) return missingControl(panel);
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
    case ATTR_DESCRIPTION: value = ss(c->widget->accessibleDescription()); return 0;
    case ATTR_ACCESSIBLE_NAME: value = ss(c->widget->accessibleName()); return 0;
    case ATTR_UNIT: value = ss(c->widget->property("unit").toString()); return 0;
    default: return UIE_BadAttribute;
    }
}

int ResetTimer(int panel, int control) {
    Control* c = findControl(panel, control);
    if (!c) return missingControl(panel);
    if (!c->timer) return UIE_WrongControlType;
    if (c->timerEnabled) c->timer->start(); // restarts the interval count
    return 0;
}
