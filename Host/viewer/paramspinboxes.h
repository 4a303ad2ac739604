#pragma once

#include <QDoubleSpinBox>
#include <QSpinBox>

#include <optional>

// Spin boxes of the parameter editor. They take what the person types even
// past their range, bound it themselves and remember what was asked, so
// that the editor can show that the value was changed. The wheel turns them
// only while they have focus: scrolling the editor must not change values
// on the way. UI thread only, as every widget.

class IntSpin : public QSpinBox
{
public:
    using QSpinBox::QSpinBox;
    // What was typed before the last value, once; empty after a step.
    std::optional<qint64> takeTyped();

protected:
    QValidator::State validate(QString &text, int &pos) const override;
    int valueFromText(const QString &text) const override;
    void stepBy(int steps) override;
    void wheelEvent(QWheelEvent *event) override;

private:
    mutable std::optional<qint64> typed;
};

class RealSpin : public QDoubleSpinBox
{
public:
    using QDoubleSpinBox::QDoubleSpinBox;
    std::optional<double> takeTyped();

protected:
    QValidator::State validate(QString &text, int &pos) const override;
    double valueFromText(const QString &text) const override;
    // The range's decimals, less trailing zeros past the first: one value
    // reads the same on cameras whose ranges need more or fewer.
    QString textFromValue(double value) const override;
    void stepBy(int steps) override;
    void wheelEvent(QWheelEvent *event) override;

private:
    mutable std::optional<double> typed;
};
