// SPDX-License-Identifier: MIT
// The command line of vantorel-batch: every option once, with its Russian
// help, read into the engine's options.
#pragma once

#include "engine/engine.h"

#include <QStringList>

#include <optional>

namespace batch {

enum ExitStatus { AllComputed = 0, SomeSkipped = 1, Failure = 2 };

// Reads the arguments into `o`. An exit status when the program ends here
// (--help, --version, or a usage error, told on standard error); nullopt
// when it runs. `quiet`: no progress line.
std::optional<int> readCommandLine(const QStringList &args, engine::Options &o, bool *quiet);

} // namespace batch
