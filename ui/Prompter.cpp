#include "ui/Prompter.h"

#include "ui/QtPrompter.h"

namespace {
Prompter *g_installed = nullptr;
}

Prompter &Prompter::current()
{
    static QtPrompter qtPrompter;
    return g_installed ? *g_installed : qtPrompter;
}

void Prompter::install(Prompter *prompter)
{
    g_installed = prompter;
}
