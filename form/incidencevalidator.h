// SPDX-License-Identifier: MIT
// Validator of the value field.
//
// It never drops a keystroke that could change a number's magnitude: every
// digit, sign, decimal point, comma and exponent letter is kept, and text
// that is not (yet) a number stays as typed so that "Ввод" can explain what
// is wrong with it. Only characters that no number holds are refused. A
// comma is a decimal separator, like the point, under every locale.
#pragma once

#include <QDoubleValidator>

class TIncidenceValidator : public QDoubleValidator
{
    Q_OBJECT

public:
    explicit TIncidenceValidator(QObject *parent);

    State validate(QString &input, int &pos) const override;
    void fixup(QString &input) const override;
};
