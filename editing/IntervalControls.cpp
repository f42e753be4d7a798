// SPDX-License-Identifier: GPL-3.0-or-later
#include "editing/IntervalControls.h"

#include <limits>

#include "mainwindow/Form1.h"

namespace {

// A timer period is a 32-bit signed count of milliseconds.
constexpr double LongestIntervalMs = double(std::numeric_limits<int>::max() / 1000 * 1000);

double numberIn(const TextField* field)
{
    return field->text().toDouble();
}

// Whole numbers are written without decimal point, sign or leading zeros.
void addTo(TextField* field, double amount)
{
    field->setText(QString::number(numberIn(field) + amount, 'f', 0));
}

double interval(const Form1& form)
{
    return numberIn(form.Text1);
}

} // namespace

void stepIntervalUpOne(Form1& form)
{
    if (interval(form) + 1000 > LongestIntervalMs)
        return;
    if (interval(form) >= 11000)
        form.Command6->setEnabled(true);
    form.Command4->setEnabled(true);
    addTo(form.Text10, 1);
    addTo(form.Text1, 1000);
}

void stepIntervalUpTen(Form1& form)
{
    if (interval(form) + 10000 > LongestIntervalMs)
        return;
    form.Command4->setEnabled(true);
    form.Command6->setEnabled(true);
    addTo(form.Text1, 10000);
    addTo(form.Text10, 10);
}

void stepIntervalDownOne(Form1& form)
{
    if (interval(form) >= 2000) {
        addTo(form.Text1, -1000);
        addTo(form.Text10, -1);
    } else {
        form.Command4->setEnabled(false);
        form.Command6->setEnabled(false);
    }
    form.Command6->setEnabled(interval(form) >= 11000);
}

void stepIntervalDownTen(Form1& form)
{
    if (interval(form) >= 11000) {
        addTo(form.Text1, -10000);
        addTo(form.Text10, -10);
    } else {
        form.Command6->setEnabled(false);
    }
}

void guardIntervalAtTenSeconds(Form1& form)
{
    if (interval(form) == 10000)
        form.Command6->setEnabled(false);
}

void guardIntervalAtElevenSeconds(Form1& form)
{
    if (interval(form) == 11000)
        form.Command6->setEnabled(true);
}
