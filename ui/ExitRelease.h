#pragma once

#include <functional>

// A last word to the students when the process ends under the console: Qt's X11 platform ends
// the program itself (exit status 1) when its display goes away, so no window event runs and
// students would be left blacked out or showing a frozen demonstration.
namespace exit_release {

// The action run if the process exits while armed; it replaces an earlier one.
void arm(std::function<void()> action);
// The console closed as usual (or its window is gone): nothing is run at exit.
void disarm();

} // namespace exit_release
