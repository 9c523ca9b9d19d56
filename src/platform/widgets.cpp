#include "platform/widgets.h"

#include "platform/ui.h"

#include <QApplication>
#include <QCloseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>
#include <QRegularExpression>
#include <QProxyStyle>
#include <QStyleFactory>
#include <QStyleOption>
#include <QtMath>
#include <cmath>

namespace platform {

namespace {
const QColor kAccent(0x1f, 0x6f, 0xb2);
const QColor kOnGreen(0x2e, 0x9d, 0x4f);
const QColor kTrackOff(0xb9, 0xc0, 0xc8);
const QColor kInk(0x1d, 0x27, 0x33);
} // namespace

SwitchWidget::SwitchWidget(QWidget* parent) : QAbstractButton(parent) {
    setCheckable(true);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::StrongFocus);
}

void SwitchWidget::setStateTexts(const QString& on, const QString& off) {
    on_ = on;
    off_ = off;
    update();
}

QSize SwitchWidget::sizeHint() const {
    const QFontMetrics fm(font());
    return {48 + 8 + std::max(fm.horizontalAdvance(on_), fm.horizontalAdvance(off_)), 26};
}

void SwitchWidget::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const int trackH = std::min(height() - 4, 24);
    const int trackW = trackH * 2;
    const QRectF track(1, (height() - trackH) / 2.0, trackW, trackH);
    QColor trackColor = isChecked() ? kOnGreen : kTrackOff;
    if (!isEnabled()) trackColor = trackColor.lighter(135);
    p.setPen(Qt::NoPen);
    p.setBrush(trackColor);
    p.drawRoundedRect(track, trackH / 2.0, trackH / 2.0);
    const double knobD = trackH - 4;
    const double knobX = isChecked() ? track.right() - knobD - 2 : track.left() + 2;
    p.setBrush(Qt::white);
    p.drawEllipse(QRectF(knobX, track.top() + 2, knobD, knobD));
    p.setPen(isEnabled() ? kInk : palette().color(QPalette::Disabled, QPalette::WindowText));
    QFont f = font();
    f.setBold(true);
    p.setFont(f);
    const QRectF textRect(track.right() + 8, 0, width() - track.right() - 8, height());
    p.drawText(textRect, Qt::AlignVCenter | Qt::AlignLeft, isChecked() ? on_ : off_);
    // With the focus, a ring round the track and a line under the state, in the accent colour.
    if (hasFocus()) {
        p.setPen(QPen(kAccent, 2));
        p.setBrush(Qt::NoBrush);
        p.drawRoundedRect(track.adjusted(-1, -1, 1, 1), trackH / 2.0 + 1, trackH / 2.0 + 1);
        const double textWidth = QFontMetricsF(f).horizontalAdvance(isChecked() ? on_ : off_);
        p.drawLine(QPointF(textRect.left(), height() - 3.0), QPointF(textRect.left() + textWidth, height() - 3.0));
    }
}

namespace {

const char* const kMarkedStyle = "background: #fde2e1; border: 1px solid #c0392b; border-radius: 3px;";

// Tints a field that holds what the program will not send, and says in its tooltip what it takes.
void markField(QWidget* w, bool fits, const QString& takes) {
    if (!w->property("ownTooltip").isValid()) w->setProperty("ownTooltip", w->toolTip());
    if (w->property("fits").isValid() && w->property("fits").toBool() == fits) return;
    w->setProperty("fits", fits);
    w->setStyleSheet(fits ? QString() : QString("%1 { %2 }").arg(w->metaObject()->className(), kMarkedStyle));
    w->setToolTip(fits ? w->property("ownTooltip").toString() : takes);
}

} // namespace

NumberField::NumberField(QWidget* parent, int decimals, double minimum, double maximum)
    : QAbstractSpinBox(parent), decimals_(decimals), min_(minimum), max_(maximum) {
    setKeyboardTracking(false);
    setCorrectionMode(QAbstractSpinBox::CorrectToPreviousValue);
    setAlignment(Qt::AlignRight);
    lineEdit()->setText(textOf(0));
    connect(this, &QAbstractSpinBox::editingFinished, this, [this] { finish(); });
    connect(lineEdit(), &QLineEdit::textChanged, this, [this] { mark(); });
}

QString NumberField::textOf(double v) const {
    if (std::isnan(v)) return "NaN";
    return decimals_ > 0 ? QString::number(v, 'f', decimals_) : QString::number(static_cast<long long>(v));
}

// A sign, digits and decimals, with a point or a comma between them whatever the system's language.
bool NumberField::parse(const QString& text, double* v) const {
    static const QRegularExpression form("^[+-]?(\\d+([.,]\\d*)?|[.,]\\d+)$");
    const QString trimmed = text.trimmed();
    if (!form.match(trimmed).hasMatch()) return false;
    bool ok = false;
    const double parsed = QString(trimmed).replace(',', '.').toDouble(&ok);
    if (ok && v) *v = parsed;
    return ok;
}

void NumberField::setValue(double v) {
    value_ = decimals_ > 0 || !std::isfinite(v) ? v : std::trunc(v);
    const QSignalBlocker block(lineEdit());
    lineEdit()->setText(textOf(value_));
    mark();
}

double NumberField::value() const {
    double v = secret_ ? NAN : value_;
    return fault() == kEntryFits && parse(lineEdit()->text(), &v) ? v : secret_ ? NAN : value_;
}

void NumberField::setRange(double minimum, double maximum) {
    min_ = minimum;
    max_ = maximum;
    mark();
}

// What it takes, in figures, as its tooltip says a refused entry: its range and its step
// ("0.00 … 655.35, 0.01"). A screen reader hears it as the field's description, unless the
// program gave the field one of its own.
QString NumberField::takes() const {
    const QString step = decimals_ > 0 ? "0." + QString(decimals_ - 1, '0') + "1" : "1";
    return textOf(min_) + " \u2026 " + textOf(max_) + ", " + step;
}

int NumberField::fault() const {
    const QString text = lineEdit()->text().trimmed();
    if (text.isEmpty()) return secret_ ? kEntryEmpty : kEntryFits; // else it stands for the last accepted value
    double v = 0;
    if (!parse(text, &v)) return std::isnan(value_) && text == textOf(value_) ? kEntryFits : kEntryNotANumber;
    // More decimals than the field shows (any, in a whole-number field) would be sent rounded or
    // cut: refused, as a number beyond the range is.
    const qsizetype point = std::max(text.indexOf('.'), text.indexOf(','));
    if (point >= 0 && text.size() - point - 1 > decimals_) return kEntryTooManyDecimals;
    return v >= min_ && v <= max_ ? kEntryFits : kEntryOutOfRange;
}

QVariant NumberField::spokenValue() const {
    return lineEdit()->echoMode() == QLineEdit::Normal ? QVariant(value()) : QVariant();
}

void NumberField::setSecret(bool secret) {
    secret_ = secret;
    lineEdit()->setEchoMode(secret ? QLineEdit::Password : QLineEdit::Normal);
    if (!secret) return;
    const QSignalBlocker block(lineEdit());
    lineEdit()->clear();
    mark();
}

// Whatever is typed stays as typed, letters included, so that the field can say why it will not
// send it; only control characters and an entry longer than any number are kept out.
QValidator::State NumberField::validate(QString& input, int&) const {
    constexpr int kLongestEntry = 40;
    if (input.size() > kLongestEntry) return QValidator::Invalid;
    for (QChar c : input)
        if (!c.isPrint()) return QValidator::Invalid;
    return parse(input, nullptr) ? QValidator::Acceptable : QValidator::Intermediate;
}

void NumberField::finish() {
    if (lineEdit()->text().trimmed().isEmpty() && !secret_) {
        setValue(value_); // emptied: the last accepted value again
        return;
    }
    double v = value_;
    if (fault() != kEntryFits || !parse(lineEdit()->text(), &v)) return; // refused: kept as typed, tinted
    const bool changed = v != value_;
    value_ = v;
    if (changed && committed) committed();
}

void NumberField::stepBy(int steps) {
    const double step = decimals_ > 0 ? std::pow(10.0, -decimals_) : 1.0;
    setValue(std::clamp(value() + steps * step, min_, max_));
    if (committed) committed();
}

QAbstractSpinBox::StepEnabled NumberField::stepEnabled() const {
    if (isReadOnly() || !isEnabled()) return StepNone;
    const double v = value();
    StepEnabled enabled = StepNone;
    if (v < max_) enabled |= StepUpEnabled;
    if (v > min_) enabled |= StepDownEnabled;
    return enabled;
}

// The tooltip of a refused entry says what the field takes.
void NumberField::mark() {
    markField(this, fault() == kEntryFits || fault() == kEntryEmpty, takes());
    if (!property("rq55OwnDescription").toBool() && accessibleDescription() != takes()) setAccessibleDescription(takes());
}

void LimitText(QLineEdit* edit, int maxLength, bool asciiOnly) {
    edit->setProperty("rq55MaxLength", maxLength);
    edit->setProperty("rq55Ascii", asciiOnly);
    const auto check = [edit] { markField(edit, ValueFits(edit), QString("\u2264 %1").arg(edit->property("rq55MaxLength").toInt())); };
    QObject::connect(edit, &QLineEdit::textChanged, edit, check);
}

int EntryFaultOf(QWidget* w) {
    if (auto* n = dynamic_cast<NumberField*>(w)) return n->fault();
    auto* e = dynamic_cast<QLineEdit*>(w);
    if (!e || e->isReadOnly() || !e->property("rq55MaxLength").isValid()) return kEntryFits;
    const QString text = e->text();
    const int maxLength = e->property("rq55MaxLength").toInt();
    if (maxLength > 0 && text.size() > maxLength) return kEntryTooLong;
    if (e->property("rq55Ascii").toBool())
        for (QChar c : text)
            if (c.unicode() < 0x20 || c.unicode() > 0x7E) return kEntryBadCharacters;
    return kEntryFits;
}

GaugeWidget::GaugeWidget(QWidget* parent) : QWidget(parent) {}

void GaugeWidget::setValue(double v) {
    value_ = v;
    update();
}

void GaugeWidget::setRange(double minimum, double maximum) {
    min_ = minimum;
    max_ = maximum;
    update();
}

void GaugeWidget::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const double side = std::min(width(), static_cast<int>(height() * 1.25));
    const QPointF centre(width() / 2.0, side * 0.55);
    const double radius = side * 0.42;
    const double startDeg = 210, spanDeg = -240; // from lower left, clockwise to lower right
    const QRectF arcRect(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius);
    const bool enabled = isEnabled();

    QPen track(QColor(0xdd, 0xe2, 0xe8), radius * 0.16, Qt::SolidLine, Qt::FlatCap);
    p.setPen(track);
    p.drawArc(arcRect, qRound(startDeg * 16), qRound(spanDeg * 16));

    const double range = max_ - min_;
    double fraction = range > 0 && std::isfinite(value_) ? (value_ - min_) / range : 0.0;
    fraction = std::clamp(fraction, 0.0, 1.0);
    QPen fill(enabled ? kAccent : kTrackOff, radius * 0.16, Qt::SolidLine, Qt::FlatCap);
    p.setPen(fill);
    p.drawArc(arcRect, qRound(startDeg * 16), qRound(spanDeg * fraction * 16));

    // Ticks at every tenth, with the ends labelled.
    p.setPen(QPen(QColor(0x6b, 0x76, 0x82), 1));
    for (int i = 0; i <= 10; ++i) {
        const double a = qDegreesToRadians(startDeg + spanDeg * i / 10.0);
        const double r1 = radius * 0.70, r2 = radius * (i % 5 == 0 ? 0.58 : 0.64);
        p.drawLine(QPointF(centre.x() + r1 * std::cos(a), centre.y() - r1 * std::sin(a)),
                   QPointF(centre.x() + r2 * std::cos(a), centre.y() - r2 * std::sin(a)));
    }
    QFont small = font();
    small.setPointSizeF(std::max(6.5, font().pointSizeF() * 0.8));
    p.setFont(small);
    const double labelY = centre.y() + radius * 0.62;
    auto number = [](double v) { return QString::number(v, 'g', 6); };
    p.drawText(QRectF(centre.x() - radius * 1.1, labelY, radius * 0.8, 16), Qt::AlignCenter, number(min_));
    p.drawText(QRectF(centre.x() + radius * 0.3, labelY, radius * 0.8, 16), Qt::AlignCenter, number(max_));

    // Needle.
    const double a = qDegreesToRadians(startDeg + spanDeg * fraction);
    p.setPen(QPen(enabled ? QColor(0xc0, 0x39, 0x2b) : kTrackOff, 2.5, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(centre,
               QPointF(centre.x() + radius * 0.78 * std::cos(a), centre.y() - radius * 0.78 * std::sin(a)));
    p.setPen(Qt::NoPen);
    p.setBrush(enabled ? kInk : kTrackOff);
    p.drawEllipse(centre, 4, 4);

    QFont big = font();
    big.setBold(true);
    p.setFont(big);
    p.setPen(enabled ? kInk : palette().color(QPalette::Disabled, QPalette::WindowText));
    const QString text = std::isfinite(value_) ? QString::number(value_, 'f', precision_) : QString("---");
    p.drawText(QRectF(0, centre.y() + radius * 0.15, width(), 20), Qt::AlignHCenter | Qt::AlignTop, text);
}

PanelWindow::PanelWindow(std::function<void()> onCloseBox) : onCloseBox_(std::move(onCloseBox)) {}

void PanelWindow::closeEvent(QCloseEvent* event) {
    // The program decides what the close box does (usually the panel's own close command).
    event->ignore();
    if (onCloseBox_) onCloseBox_();
}

namespace {

// Fusion, with the menu bar reached by Alt alone, as on every desktop, and the letter of each
// menu's Alt key underlined.
class Style : public QProxyStyle {
  public:
    Style() : QProxyStyle(QStyleFactory::create("Fusion")) {}
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* data) const override {
        if (hint == SH_MenuBar_AltKeyNavigation || hint == SH_UnderlineShortcut) return 1;
        return QProxyStyle::styleHint(hint, option, widget, data);
    }
    // A button the keyboard has reached wears the same accent ring as the switch, plain enough to
    // be seen from a step back.
    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override {
        QProxyStyle::drawControl(element, option, painter, widget);
        if (element == CE_PushButton && (option->state & State_HasFocus)) {
            painter->save();
            painter->setRenderHint(QPainter::Antialiasing);
            painter->setPen(QPen(kAccent, 2));
            painter->setBrush(Qt::NoBrush);
            painter->drawRoundedRect(QRectF(option->rect).adjusted(1.5, 1.5, -1.5, -1.5), 3, 3);
            painter->restore();
        }
    }
};

} // namespace

void ApplyTheme() {
    QApplication::setStyle(new Style);
    QPalette pal;
    pal.setColor(QPalette::Window, QColor(0xf2, 0xf4, 0xf7));
    pal.setColor(QPalette::WindowText, kInk);
    pal.setColor(QPalette::Base, Qt::white);
    pal.setColor(QPalette::AlternateBase, QColor(0xe9, 0xed, 0xf2));
    pal.setColor(QPalette::Text, kInk);
    pal.setColor(QPalette::Button, QColor(0xe6, 0xea, 0xef));
    pal.setColor(QPalette::ButtonText, kInk);
    pal.setColor(QPalette::Highlight, kAccent);
    pal.setColor(QPalette::HighlightedText, Qt::white);
    pal.setColor(QPalette::ToolTipBase, QColor(0xff, 0xfb, 0xe6));
    pal.setColor(QPalette::ToolTipText, kInk);
    pal.setColor(QPalette::Disabled, QPalette::WindowText, QColor(0x9a, 0xa3, 0xad));
    pal.setColor(QPalette::Disabled, QPalette::Text, QColor(0x9a, 0xa3, 0xad));
    pal.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(0x9a, 0xa3, 0xad));
    pal.setColor(QPalette::Disabled, QPalette::Base, QColor(0xf0, 0xf2, 0xf5));
    QApplication::setPalette(pal);
    QFont font("DejaVu Sans");
    font.setPointSizeF(9);
    QApplication::setFont(font);
}

} // namespace platform
