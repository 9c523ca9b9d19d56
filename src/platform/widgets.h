// The few widgets Qt does not offer as such: a two-state switch with state texts, a dial gauge,
// a value display for live readings, and the panel window that routes its close box.
#pragma once

#include <QAbstractButton>
#include <QAbstractSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QWidget>
#include <functional>

namespace platform {

// A sliding switch: track and knob, with the text of the current state beside it.
class SwitchWidget : public QAbstractButton {
  public:
    explicit SwitchWidget(QWidget* parent);
    void setStateTexts(const QString& on, const QString& off);
    QString onText() const { return on_; }
    QString offText() const { return off_; }
    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent*) override;

  private:
    QString on_, off_;
};

// A dial from `minimum` to `maximum` with a needle at the value and the value printed below.
class GaugeWidget : public QWidget {
  public:
    explicit GaugeWidget(QWidget* parent);
    void setValue(double v);
    void setRange(double minimum, double maximum);
    double value() const { return value_; }
    double minimum() const { return min_; }
    double maximum() const { return max_; }
    void setPrecision(int digits) {
        precision_ = digits;
        update();
    }
    int precision() const { return precision_; }

  protected:
    void paintEvent(QPaintEvent*) override;

  private:
    double value_ = 0, min_ = 0, max_ = 100;
    int precision_ = 2;
};

// An editable number that keeps every character the operator types. It holds either an accepted
// value (the one it was given, or the last entry that fitted) or a refused entry: letters, more
// decimals than it shows, or a number outside its range, kept as typed, tinted, its tooltip saying
// what it takes, and never sent (EntryFaultOf). A refused entry never becomes the field's value,
// rounded or otherwise; an emptied field shows its last accepted value again when it is left.
// The arrows step within the range. A secret field (a password) shows dots for its digits and holds
// only what is typed: it starts empty, and empty it holds no value (kEntryEmpty), so nothing the
// operator did not type can be sent from it.
class NumberField : public QAbstractSpinBox {
    Q_OBJECT
    // What a screen reader reads as the field's value and range; nothing of a secret.
    Q_PROPERTY(QVariant value READ spokenValue)
    Q_PROPERTY(double minimum READ minimum)
    Q_PROPERTY(double maximum READ maximum)

  public:
    NumberField(QWidget* parent, int decimals, double minimum, double maximum);
    // Shows a value (a whole-number field drops the fraction), without telling `committed`.
    void setValue(double v);
    // The entry typed when it fits, even before the operator has left the field; otherwise the
    // last accepted value.
    double value() const;
    void setRange(double minimum, double maximum);
    double minimum() const { return min_; }
    double maximum() const { return max_; }
    int decimals() const { return decimals_; }
    // The entry as typed (or as the value is shown).
    QString entry() const { return lineEdit()->text(); }
    // kEntryFits, or why the entry typed may not be sent (ui.h's EntryFault).
    int fault() const;
    void setSecret(bool secret);
    QVariant spokenValue() const;
    // The operator changed the value: Enter, leaving the field, or an arrow.
    std::function<void()> committed;

  protected:
    QValidator::State validate(QString& input, int& pos) const override;
    void fixup(QString&) const override {}
    void stepBy(int steps) override;
    StepEnabled stepEnabled() const override;

  private:
    QString textOf(double v) const;
    QString takes() const;
    bool parse(const QString& text, double* v) const;
    void finish();
    void mark();

    bool secret_ = false;
    int decimals_;
    double min_, max_;
    double value_ = 0;
};

// A text field that keeps every character the operator types; a text longer than the field
// takes, or (for an ASCII field) holding another character, is tinted and refused when sent.
void LimitText(QLineEdit* edit, int maxLength, bool asciiOnly);
// Why an editable field's entry may not be sent (ui.h's EntryFault): a number not in its range or
// of more decimals than it shows, a text too long or with characters the analyser cannot keep.
// kEntryFits for every other control.
int EntryFaultOf(QWidget* w);
inline bool ValueFits(QWidget* w) { return EntryFaultOf(w) == 0; }

// The top-level window of a panel. Its close box runs a callback instead of closing.
class PanelWindow : public QWidget {
  public:
    explicit PanelWindow(std::function<void()> onCloseBox);

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    std::function<void()> onCloseBox_;
};

// Applies the program's look (style, palette, font) to the application.
void ApplyTheme();

} // namespace platform
