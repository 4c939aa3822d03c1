#pragma once

class QApplication;

// The one application object the console benchmarks share, made at first use (offscreen
// windows; capture still reads the X display named by DISPLAY).
QApplication &benchApplication();

// Destroys it, if it was made; the benchmark program's last step.
void endBenchApplication();
