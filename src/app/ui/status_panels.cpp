#include "app/ui/status_panels.h"

#include "core/app_state.h"
#include "core/settings_record.h"
#include "sources/source_registry.h"

#include <QEvent>
#include <QLabel>
#include <QMainWindow>
#include <QPixmap>
#include <QStatusBar>

namespace kestrion {

namespace {

QLabel* panel(QWidget* parent, const char* name, const QString& text, const QString& tip)
{
    auto* p = new QLabel(text, parent);
    p->setObjectName(QLatin1String(name));
    p->setToolTip(tip);
    p->setFrameShape(QFrame::Panel);
    p->setFrameShadow(QFrame::Sunken);
    p->setContentsMargins(2, 0, 2, 0);
    return p;
}

} // namespace

StatusPanels::StatusPanels(QMainWindow& window)
{
    m_bar = new QStatusBar(&window);
    m_bar->setObjectName(QStringLiteral("sbStatusBar"));
    window.setStatusBar(m_bar);
    m_status = panel(m_bar, "Status", QStringLiteral("Status"), QStringLiteral("Download Status"));
    m_dataSource = panel(m_bar, "DataSource", QString(), QStringLiteral("Data Source"));
    m_dataSource->setAlignment(Qt::AlignCenter);
    m_dataSource->setMinimumWidth(100);
    m_adt = panel(m_bar, "ADT", QStringLiteral("ADT"), QStringLiteral("Automatic Download Time"));
    m_adt->setMinimumWidth(90);
    // Permanent widgets stay visible when a status tip is shown.
    m_bar->addPermanentWidget(m_status, 1);
    m_bar->addPermanentWidget(m_dataSource);
    m_bar->addPermanentWidget(m_adt);
    for (QLabel* p : {m_status, m_dataSource, m_adt})
        p->installEventFilter(this);
}

StatusPanels::~StatusPanels() = default;

void StatusPanels::setStatusText(const QString& text)
{
    m_status->setText(text);
    Q_EMIT statusTextChanged(text);
}

QString StatusPanels::statusText() const
{
    return m_status->text();
}

void StatusPanels::setStatusToolTip(const QString& text)
{
    m_status->setToolTip(text);
}

void StatusPanels::showAutomaticDownloadTime(const QString& time)
{
    m_adt->setText(QStringLiteral("ADT = ") + time);
}

void StatusPanels::showSourcePicture(const QString& path)
{
    const QPixmap picture(path);
    if (picture.isNull())
        m_dataSource->clear();
    else
        m_dataSource->setPixmap(picture);
}

bool StatusPanels::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonPress)
        setStatusText(QStringLiteral("Status"));
    return QObject::eventFilter(watched, event);
}

QString sourcePicturePath(const Settings& settings)
{
    return applicationFolder() + QLatin1Char('/') + quoteSourceEntry(settings).picture;
}

} // namespace kestrion
