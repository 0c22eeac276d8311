#pragma once

// The clock of the program: everything that stamps a date or time (log lines, validity checks,
// document information of a PDF, event times) reads it from here, so tests can fix the time.

#include <QDateTime>
#include <functional>

namespace qel {

// The current instant (UTC).
using Relogio = std::function<QDateTime()>;

inline Relogio relogioDoSistema() {
    return [] { return QDateTime::currentDateTimeUtc(); };
}

} // namespace qel
