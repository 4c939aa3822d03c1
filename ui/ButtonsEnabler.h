#pragma once

#include <functional>

class QToolButton;

// Enables or disables every toolbar button but the one whose mode is starting or stopping.
using ButtonsEnabler = std::function<void(const QToolButton *running, bool enabled)>;
