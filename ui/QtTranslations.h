#pragma once

class QCoreApplication;

// Qt's own texts (OK, Cancel, Yes, No, the input box) in Simplified Chinese, from Qt's
// installed translations; returns false, after logging why, when they cannot be loaded.
bool installChineseQtTranslations(QCoreApplication &app);
