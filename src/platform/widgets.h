// The few widgets Qt does not offer as such: a two-state switch with state texts, a dial gauge,
// a value display for live readings, and the panel window that routes its close box.
#pragma once

#include <QAbstractButton>
#include <QLabel>
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

  protected:
    void paintEvent(QPaintEvent*) override;

  private:
    double value_ = 0, min_ = 0, max_ = 100;
    int precision_ = 2;
};

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
