#pragma once

#include <QString>

// The console's error box for failures that escape a handler, one box at a time.
namespace error_report {

// The message as shown: "." appended when its last character sorts above ".".
QString boxText(const QString &message);

// Routes every guarded failure to the error box. A failure raised while a box is open is
// dropped, so a failing 10 ms tick cannot stack boxes without end.
void install();

} // namespace error_report
