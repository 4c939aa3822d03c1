#include "agent/MessageWindow.h"

#include "protocol/TextFraming.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace {

const char kCaption[] = "教师消息";
const char kClose[] = "关闭";
const char kCutMark[] = "…… 消息太长，超过 %1 KB 的部分没有收到。";
constexpr QSize kSize(640, 440);
constexpr int kTextPointSize = 16;
constexpr int kHeadingPointSize = 18;
constexpr int kButtonPointSize = 14;
constexpr QSize kButtonSize(120, 44);
constexpr qsizetype kLongestWord = 200;

// One family draws the Latin and the Chinese glyphs alike; left to fallback, Chinese comes from
// another font, smaller and lighter. The first installed one wins; the package brings the last.
QFont chineseFont(int pointSize)
{
    QFont font;
    font.setFamilies({QStringLiteral("Noto Sans CJK SC"), QStringLiteral("Source Han Sans SC"),
                      QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("WenQuanYi Zen Hei"),
                      QStringLiteral("AR PL UMing CN")});
    font.setPointSize(pointSize);
    return font;
}

// Words are kept whole, unless a "word" is so long that looking for its end at every line
// would take seconds (a 256 KiB run without a blank took seven): then lines break anywhere.
QTextOption::WrapMode wrapFor(const QString &text)
{
    qsizetype run = 0;
    for (const QChar c : text) {
        run = c.isSpace() ? 0 : run + 1;
        if (run > kLongestWord) {
            return QTextOption::WrapAnywhere;
        }
    }
    return QTextOption::WrapAtWordBoundaryOrAnywhere;
}

} // namespace

MessageWindow::MessageWindow(QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::WindowStaysOnTopHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("MessageWindow"));
    setWindowTitle(QString::fromUtf8(kCaption));
    setFont(chineseFont(kTextPointSize));
    resize(kSize);
    auto *layout = new QVBoxLayout(this);
    auto *heading = new QLabel(QString::fromUtf8(kCaption), this);
    QFont headingFont = chineseFont(kHeadingPointSize);
    headingFont.setBold(true);
    heading->setFont(headingFont);
    layout->addWidget(heading);
    // A text view lays out only what is shown, so the longest message opens at once.
    m_text = new QPlainTextEdit(this);
    m_text->setObjectName(QStringLiteral("MessageText"));
    m_text->setReadOnly(true);
    m_text->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    layout->addWidget(m_text);
    m_cutMark = new QLabel(QString::fromUtf8(kCutMark).arg(framing::kTextBound / 1024), this);
    m_cutMark->setObjectName(QStringLiteral("MessageCut"));
    m_cutMark->setStyleSheet(QStringLiteral("color: #b00000"));
    m_cutMark->setWordWrap(true);
    m_cutMark->hide();
    layout->addWidget(m_cutMark);
    auto *close = new QPushButton(QString::fromUtf8(kClose), this);
    close->setObjectName(QStringLiteral("MessageClose"));
    close->setFont(chineseFont(kButtonPointSize));
    close->setMinimumSize(kButtonSize);
    connect(close, &QPushButton::clicked, this, &MessageWindow::close);
    layout->addWidget(close, 0, Qt::AlignRight);
}

void MessageWindow::showMessage(const QString &text, bool cut)
{
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    // Emptied first: a new wrap mode lays out whatever the view holds.
    m_text->clear();
    m_text->setWordWrapMode(wrapFor(shown));
    m_text->setPlainText(shown);
    m_cutMark->setVisible(cut);
    if (QScreen *screen = QGuiApplication::primaryScreen()) {
        move(screen->availableGeometry().center() - QPoint(width() / 2, height() / 2));
    }
    show();
    raise();
    activateWindow();
}

// A closed message holds no memory: a long one laid out costs megabytes.
void MessageWindow::closeEvent(QCloseEvent *event)
{
    m_text->clear();
    QWidget::closeEvent(event);
}

QString MessageWindow::text() const
{
    return m_text->toPlainText();
}

bool MessageWindow::isMarkedCut() const
{
    return !m_cutMark->isHidden();
}
