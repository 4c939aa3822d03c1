#pragma once

#include <QMainWindow>
#include <optional>

#include "classroom/ClassroomSession.h"
#include "ui/ConsoleOptions.h"
#include "ui/MainWindowLayout.h"

class TForm_ShowMess;
class TForm_client;
class Tfrm_setup;

// The console's one permanent window: it creates the classroom session, starts the teacher's
// actions on it from its toolbar, menus and timers' handlers, and shows what the session
// signals: the roster, the modes, the monitored screen, the status bar.
class Tfrm_main : public QMainWindow
{
    Q_OBJECT

public:
    explicit Tfrm_main(const ConsoleOptions &options, QWidget *parent = nullptr);
    ~Tfrm_main() override;

    // Another copy was started: this window comes to the front, restored if minimised.
    void bringToFront();

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void connectHandlers();
    void FormCreate();
    void FormShow();
    void FormClose();

    void Timer1Timer();
    // The roster's row is there (or gone); the window shows the new count.
    void ServerSocket1ClientConnect(quint64 key, const QString &countText);
    void ServerSocket1ClientDisconnect(quint64 key, const QString &countText);
    void showAddress(const QString &localIP);
    // The running mode's button stays enabled, the others wait for its end.
    void showMode(ClassroomSession::Mode mode);
    void SpeedButton4Click();
    void SpeedButton5Click();
    void N1Click();
    void N2Click();
    void N3Click();
    void N15Click();
    std::optional<ConsoleKey> consoleKey() const;

    ConsoleOptions m_options;
    MainWindowLayout m_ui;
    ClassroomSession *m_session = nullptr;
    Tfrm_setup *m_frmSetup = nullptr;
    TForm_client *m_formClient = nullptr;
    TForm_ShowMess *m_formShowMess = nullptr;
    bool m_shown = false;
    bool m_closed = false;
};
