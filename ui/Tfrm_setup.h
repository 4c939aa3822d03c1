#pragma once

#include <QDialog>
#include <optional>

#include "ui/ConsoleOptions.h"

class AutoStart;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;
struct ConsoleSettings;

// The settings dialog: ports, demonstration quality and start at boot, and the console's key
// fingerprint that student agents are told to trust.
class Tfrm_setup : public QDialog
{
    Q_OBJECT

public:
    // How the dialog closed: OK, the title bar's close box, No (or Escape).
    static constexpr int kOk = 1;
    static constexpr int kCancel = 2;
    static constexpr int kNo = 7;

    Tfrm_setup(ConsoleSettings &settings, const ConsoleOptions &options, QWidget *parent = nullptr);

    // Start at boot under name: writes or turns off the entry; a failure throws AppError.
    void SetAutoRun(const QString &name, const QString &path, bool enabled) const;
    bool IsAutoRun(const QString &name) const;

    void setVisible(bool visible) override;
    // The console's key fingerprint, shown for the admin to copy; empty: the channel is off.
    void setFingerprint(const QString &fingerprint);

protected:
    void showEvent(QShowEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void reject() override;

private:
    void buildComponents();
    void connectHandlers();
    void centreOnScreen();
    void FormShow();
    void TrackBar1Change();
    // True when everything was taken over and the dialog may close.
    bool BitBtn1Click();
    // The box's port, or nothing after telling the teacher which box is wrong.
    std::optional<qint32> checkedPort(QLineEdit *edit, const QString &name) const;
    AutoStart autoStart() const;

    ConsoleSettings &m_settings;
    ConsoleOptions m_options;

    QLineEdit *m_edit1 = nullptr;
    QLineEdit *m_edit2 = nullptr;
    QLineEdit *m_edit3 = nullptr;
    QPushButton *m_bitBtn1 = nullptr;
    QPushButton *m_bitBtn2 = nullptr;
    QCheckBox *m_checkBox1 = nullptr;
    QLabel *m_label2 = nullptr;
    QSlider *m_trackBar1 = nullptr;
    QLineEdit *m_fingerprint = nullptr;
};
