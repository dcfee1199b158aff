#include "app/ui/frmSplash.h"
#include "core/app_state.h"

#include "app/ui/frmMain.h"

#include <QFont>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QSysInfo>
#include <QTimer>
#include <QVBoxLayout>

namespace kestrion {

namespace {

// A small rising price line on a panel, drawn rather than shipped as a file.
QPixmap logoPixmap()
{
    QPixmap pm(96, 96);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(20, 60, 120), 2));
    p.setBrush(QColor(230, 238, 250));
    p.drawRoundedRect(QRectF(2, 2, 92, 92), 10, 10);
    p.setPen(QPen(QColor(40, 40, 40, 90), 1));
    for (int y = 24; y < 90; y += 16)
        p.drawLine(10, y, 86, y);
    QPainterPath line;
    line.moveTo(12, 76);
    line.lineTo(30, 60);
    line.lineTo(44, 66);
    line.lineTo(62, 38);
    line.lineTo(72, 46);
    line.lineTo(86, 18);
    p.setPen(QPen(QColor(0, 130, 60), 4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(line);
    return pm;
}

} // namespace

QPixmap frmSplash::logo()
{
    return logoPixmap();
}

QString frmSplash::screenAdvice(const QSize& screen)
{
    if (screen.width() >= 1024 && screen.height() >= 768)
        return {};
    return QStringLiteral("Please set your screen resolution to 800x600 minimum.  "
                          "1024 x 768 with large fonts looks best.");
}

QString frmSplash::versionText()
{
    return QStringLiteral("Version ") + versionNumber();
}

frmSplash::frmSplash(std::unique_ptr<frmMain>& mainWindow, QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint)
    , m_mainWindow(mainWindow)
{
    setObjectName(QStringLiteral("frmSplash"));
    setWindowTitle(QStringLiteral("Kestrion"));

    auto* frame = new QFrame(this);
    frame->setFrameShape(QFrame::Box);
    frame->setFrameShadow(QFrame::Raised);
    frame->setLineWidth(2);

    picLogo = new QLabel(frame);
    picLogo->setObjectName(QStringLiteral("picLogo"));
    picLogo->setPixmap(logoPixmap());
    picLogo->setAlignment(Qt::AlignTop | Qt::AlignHCenter);

    lblProductName = new QLabel(frame);
    lblProductName->setObjectName(QStringLiteral("lblProductName"));
    QFont big = lblProductName->font();
    big.setPointSizeF(big.pointSizeF() * 2.2);
    big.setBold(true);
    lblProductName->setFont(big);

    lblVersion = new QLabel(frame);
    lblVersion->setObjectName(QStringLiteral("lblVersion"));

    lblPlatform = new QLabel(QSysInfo::prettyProductName(), frame);
    lblPlatform->setObjectName(QStringLiteral("lblPlatform"));

    const QScreen* screen = QGuiApplication::primaryScreen();
    Label1 = new QLabel(screenAdvice(screen ? screen->size() : QSize()), frame);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setWordWrap(true);
    Label1->setHidden(Label1->text().isEmpty());

    auto* texts = new QVBoxLayout;
    texts->addWidget(lblProductName);
    texts->addWidget(lblVersion);
    texts->addWidget(lblPlatform);
    texts->addStretch(1);
    auto* top = new QHBoxLayout;
    top->addWidget(picLogo);
    top->addSpacing(16);
    top->addLayout(texts, 1);
    auto* inner = new QVBoxLayout(frame);
    inner->setContentsMargins(20, 20, 20, 16);
    inner->addLayout(top);
    if (!Label1->isHidden()) {
        inner->addSpacing(18);
        inner->addWidget(Label1);
    }
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(frame);

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setSingleShot(true);
    connect(Timer1, &QTimer::timeout, this, &frmSplash::Timer1_Timer);

    lblVersion->setText(versionText());
    lblProductName->setText(QStringLiteral("Kestrion"));
    // A coarse timer may fire up to 5 % early; the splash promises three seconds.
    Timer1->setTimerType(Qt::PreciseTimer);
    Timer1->setInterval(3000);
    Timer1->start();

    resize(460, sizeHint().height());
    if (screen) {
        QRect r = rect();
        r.moveCenter(screen->availableGeometry().center());
        move(r.topLeft());
    }
}

frmSplash::~frmSplash() = default;

void frmSplash::Timer1_Timer()
{
    Timer1->stop();
    close();
    if (!m_mainWindow)
        m_mainWindow = std::make_unique<frmMain>();
    m_mainWindow->show();
}

} // namespace kestrion
