// SPDX-License-Identifier: MIT
#include "form/incidencevalidator.h"

#include "calc/incidencetext.h"

TIncidenceValidator::TIncidenceValidator(QObject *parent)
    : QDoubleValidator(parent)
{ }

QValidator::State TIncidenceValidator::validate(QString &input, int &) const
{
    switch (trend::parseEntry(input).kind) {
    case trend::EntryKind::Number:
        return Acceptable;
    case trend::EntryKind::Foreign:
        return Invalid;
    case trend::EntryKind::Empty:
    case trend::EntryKind::Placeholder:
    case trend::EntryKind::Malformed:
    case trend::EntryKind::OutOfRange:
        break;
    }
    return Intermediate;
}

void TIncidenceValidator::fixup(QString &) const
{
    // Text is never rewritten behind the user's back.
}
