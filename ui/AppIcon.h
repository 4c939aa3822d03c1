#pragma once

#include <QIcon>

// The console's icon: the installed theme's when there is one, else the built-in copy.
QIcon appIcon();
