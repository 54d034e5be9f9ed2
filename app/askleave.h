// SPDX-License-Identifier: MIT
// The one question both windows ask before work that is not saved is
// dropped: the trend form before it closes, the tables window before it
// closes or another table replaces its rows.
#pragma once

class QString;
class QWidget;

namespace dialogs {

// Asks `text` under `title`; true when the user chose `leave`. «Отмена»
// is the default and the Escape key's answer.
bool askLeave(QWidget *parent, const QString &title, const QString &text, const QString &leave);

} // namespace dialogs
