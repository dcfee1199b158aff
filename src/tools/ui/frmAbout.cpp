#include "tools/ui/frmAbout.h"
#include "core/app_state.h"

#include "platform/settings_store.h"
#include "platform/system_info.h"
#include "platform/twips.h"
#include "platform/ui/prompt.h"

#include <QApplication>
#include <QFont>
#include <QFrame>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

namespace kestrion {

namespace {

const QString kApplicationTitle = QStringLiteral("Kestrion");

const QString kDescription = QStringLiteral(
    "This application will download multiple historical stock data files from the Yahoo! Finance and "
    "Wall Street City websites. It keeps your ticker lists, saves the quotes as text files for charting "
    "programs and spreadsheets or as MetaStock data, can download by itself once a day, and shows web "
    "charts of any ticker.");

QPixmap drawnIcon(int size)
{
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal s = size;
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x1f, 0x4e, 0x79));
    painter.drawRoundedRect(QRectF(0, 0, s, s), s / 6, s / 6);
    // A rising price line over two bars.
    painter.setBrush(QColor(0x9d, 0xc3, 0xe6));
    painter.drawRect(QRectF(s * 0.20, s * 0.60, s * 0.12, s * 0.25));
    painter.drawRect(QRectF(s * 0.44, s * 0.48, s * 0.12, s * 0.37));
    painter.drawRect(QRectF(s * 0.68, s * 0.35, s * 0.12, s * 0.50));
    QPainterPath line;
    line.moveTo(s * 0.12, s * 0.55);
    line.lineTo(s * 0.38, s * 0.38);
    line.lineTo(s * 0.58, s * 0.45);
    line.lineTo(s * 0.88, s * 0.15);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(QColor(0xff, 0xc0, 0x00), s / 12, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPath(line);
    return pixmap;
}

} // namespace

QIcon kestrionIcon()
{
    const QIcon set = QApplication::windowIcon();
    if (!set.isNull() && !set.availableSizes().isEmpty())
        return set;
    QIcon icon;
    for (int size : {16, 32, 48, 64})
        icon.addPixmap(drawnIcon(size));
    return icon;
}

frmAbout::frmAbout(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("About ") + kApplicationTitle);

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setPixmap(kestrionIcon().pixmap(32, 32));
    Image1->setAlignment(Qt::AlignTop | Qt::AlignLeft);

    lblTitle = new QLabel(this);
    lblTitle->setObjectName(QStringLiteral("lblTitle"));
    QFont titleFont(QStringLiteral("Arial"));
    titleFont.setStyleHint(QFont::SansSerif);
    titleFont.setBold(true);
    titleFont.setPointSize(16);
    lblTitle->setFont(titleFont);
    lblTitle->setText(kApplicationTitle);

    lblVersion = new QLabel(this);
    lblVersion->setObjectName(QStringLiteral("lblVersion"));
    lblVersion->setText(QStringLiteral("Version ") + versionNumber());

    lblDescription = new QLabel(this);
    lblDescription->setObjectName(QStringLiteral("lblDescription"));
    lblDescription->setText(kDescription);
    lblDescription->setWordWrap(true);
    lblDescription->setAlignment(Qt::AlignTop | Qt::AlignLeft);

    // Etched separator: a grey line over a white one.
    Line1 = new QWidget(this);
    Line1->setObjectName(QStringLiteral("Line1"));
    auto* lineLayout = new QVBoxLayout(Line1);
    lineLayout->setContentsMargins(0, 0, 0, 0);
    lineLayout->setSpacing(0);
    for (const QColor& colour : {QColor(0x80, 0x80, 0x80), QColor(0xff, 0xff, 0xff)}) {
        auto* line = new QFrame(Line1);
        line->setFixedHeight(1);
        line->setAutoFillBackground(true);
        QPalette palette = line->palette();
        palette.setColor(QPalette::Window, colour);
        line->setPalette(palette);
        lineLayout->addWidget(line);
    }

    cmdOK = new QPushButton(QStringLiteral("Ok"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(true);
    connect(cmdOK, &QPushButton::clicked, this, &QDialog::accept);

    cmdSysInfo = new QPushButton(QStringLiteral("&System Info..."), this);
    cmdSysInfo->setObjectName(QStringLiteral("cmdSysInfo"));
    connect(cmdSysInfo, &QPushButton::clicked, this, &frmAbout::StartSysInfo);

    auto* text = new QVBoxLayout;
    text->addWidget(lblTitle);
    text->addWidget(lblVersion);
    text->addSpacing(8);
    text->addWidget(lblDescription, 1);

    auto* top = new QHBoxLayout;
    top->addWidget(Image1, 0, Qt::AlignTop);
    top->addSpacing(12);
    top->addLayout(text, 1);

    auto* buttons = new QVBoxLayout;
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdSysInfo);
    auto* bottom = new QHBoxLayout;
    bottom->addStretch(1);
    bottom->addLayout(buttons);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 16, 16, 12);
    layout->addLayout(top, 1);
    layout->addSpacing(8);
    layout->addWidget(Line1);
    layout->addSpacing(8);
    layout->addLayout(bottom);

    // Ok first in the tab order, so it has the focus when the box opens.
    setTabOrder(cmdOK, cmdSysInfo);
    cmdOK->setFocus();
    // The client area as the box was drawn.
    resize(twipsToPixels(5685), twipsToPixels(4560));
}

bool frmAbout::GetKeyValue(const QString& section, const QString& name, QString& value) const
{
    const SettingsStore store;
    return SystemInfo::GetKeyValue(store, section, name, value);
}

void frmAbout::StartSysInfo()
{
    const SettingsStore store;
    const QString program = SystemInfo::locateProgram(store,
                                                      m_searchPathSet ? m_searchPath : SystemInfo::processPath());
    if (!program.isEmpty() && SystemInfo::startProgram(program))
        return;
    Prompt::ask(this, QMessageBox::Warning, kApplicationTitle,
                QStringLiteral("System Information Is Unavailable At This Time"), QMessageBox::Ok);
}

void showAbout(QWidget* owner)
{
    frmAbout box(owner);
    box.exec();
}

} // namespace kestrion
