// SPDX-License-Identifier: MIT
// What the program sets up before its window: the toolkit's own texts in
// Russian, and no settings of the toolkit's own on disk.
#pragma once

class QCoreApplication;

namespace startup {

// The toolkit's file dialog keeps its history and last folder in a settings
// file of its own and reads it back. The program keeps no state between
// runs, so that file is pointed where none can exist: nothing is read, and
// nothing is written. Call before the first window.
void keepNoToolkitSettings();

// Whether the toolkit will find a display: a variable names one, or the
// arguments choose a platform. Without one the toolkit would print a stack
// of warnings and abort; a program says what to do instead.
bool displayAvailable(int argc, char **argv);

// Loads the toolkit's Russian translation (its dialogs' buttons and labels)
// whatever the locale. The program's own texts have no entries there and
// show as written. Without the file the dialogs stay English; returns
// whether it was loaded.
bool installToolkitTranslation(QCoreApplication &app);

} // namespace startup
