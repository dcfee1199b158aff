#include "options/ui/api_key_field.h"

#include "platform/ui/prompt.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QRegularExpression>

#include <utility>

namespace kestrion {

ApiKeyFieldNames ApiKeyFieldNames::forService(const QString& cliName)
{
    const QString suffix = QLatin1Char('_') + cliName;
    return {QStringLiteral("fraApiKey") + suffix,     QStringLiteral("lblApiKey") + suffix,
            QStringLiteral("txtApiKey") + suffix,     QStringLiteral("chkShowKey") + suffix,
            QStringLiteral("lblKeyHelp") + suffix,    QStringLiteral("lblKeyStorage") + suffix};
}

ApiKeyField::ApiKeyField(const QString& title, KeyPlace place, const QString& helpHtml, const ApiKeyFieldNames& names,
                         QWidget* parent)
    : QGroupBox(title, parent)
    , m_place(std::move(place))
{
    setObjectName(names.group);
    keyLabel = new QLabel(QStringLiteral("API Key:"), this);
    keyLabel->setObjectName(names.label);
    keyEdit = new QLineEdit(this);
    keyEdit->setObjectName(names.edit);
    keyEdit->setEchoMode(QLineEdit::Password);
    keyEdit->setInputMethodHints(Qt::ImhSensitiveData | Qt::ImhNoPredictiveText | Qt::ImhNoAutoUppercase);
    keyEdit->setEnabled(false); // until the key has been read
    keyLabel->setBuddy(keyEdit);
    showKey = new QCheckBox(QStringLiteral("Show"), this);
    showKey->setObjectName(names.show);
    help = new QLabel(helpHtml, this);
    help->setObjectName(names.help);
    help->setTextFormat(Qt::RichText);
    help->setOpenExternalLinks(true);
    help->setWordWrap(true);
    help->setHidden(helpHtml.isEmpty());
    storage = new QLabel(this);
    storage->setObjectName(names.storage);
    storage->setWordWrap(true);

    auto* layout = new QGridLayout(this);
    layout->addWidget(keyLabel, 0, 0);
    layout->addWidget(keyEdit, 0, 1);
    layout->addWidget(showKey, 0, 2);
    layout->addWidget(help, 1, 0, 1, 3);
    layout->addWidget(storage, 2, 0, 1, 3);
    layout->setColumnStretch(1, 1);
    connect(showKey, &QCheckBox::toggled, keyEdit,
            [this](bool show) { keyEdit->setEchoMode(show ? QLineEdit::Normal : QLineEdit::Password); });
}

QString ApiKeyField::helpHtmlFromText(const QString& text)
{
    // The line comes from a description file, possibly the user's: shown as
    // text, never as markup, with only its addresses made into links.
    static const QRegularExpression address(QStringLiteral(R"(https?://[^\s<>"]*[^\s<>".,;:)\]])"));
    const QString escaped = text.toHtmlEscaped();
    QString html;
    qsizetype last = 0;
    for (const QRegularExpressionMatch& m : address.globalMatch(escaped)) {
        html += escaped.mid(last, m.capturedStart() - last);
        html += QStringLiteral("<a href=\"%1\">%1</a>").arg(m.captured());
        last = m.capturedEnd();
    }
    return html + escaped.mid(last);
}

void ApiKeyField::startRead()
{
    if (m_readStarted)
        return;
    m_readStarted = true;
    storage->setText(QStringLiteral("Reading the key..."));
    auto* store = new ApiKeyStore(m_place, this);
    connect(store, &ApiKeyStore::readDone, this, [this, store](const StoredKey& stored) {
        store->deleteLater();
        showStored(stored);
    });
    store->read();
}

void ApiKeyField::showStored(const StoredKey& stored)
{
    m_loaded = true;
    m_loadedKey = stored.key;
    m_fromEnvironment = stored.where == KeyStorage::Environment;
    keyEdit->setText(stored.key);
    keyEdit->setReadOnly(m_fromEnvironment);
    keyEdit->setEnabled(true);

    const QString privateFile = QStringLiteral("the settings file, readable by you only");
    QString where;
    switch (stored.where) {
    case KeyStorage::Environment:
        where = QStringLiteral("The key comes from the environment variable %1, which overrides a stored key. "
                               "Unset it to change the key here.")
                    .arg(m_place.variable);
        break;
    case KeyStorage::SecretStore:
        where = QStringLiteral("The key is kept in the desktop's secret store.");
        break;
    case KeyStorage::SettingsFile:
        where = QStringLiteral("The key is kept in ") + privateFile
            + (stored.secretStoreAnswered ? QStringLiteral(".")
                                          : QStringLiteral(", because no secret store answered."));
        break;
    case KeyStorage::None:
        where = stored.secretStoreAnswered
            ? QStringLiteral("No key is stored. A key entered here is kept in the desktop's secret store.")
            : QStringLiteral("No key is stored. No secret store answered, so a key entered here is kept in ")
                + privateFile + QLatin1Char('.');
        break;
    }
    storage->setText(where);
}

void ApiKeyField::save(QWidget* promptOwner)
{
    // A key never read (the page not shown, or the read still running) is
    // left alone: the empty field does not mean "clear it".
    if (!m_loaded || m_fromEnvironment)
        return;
    const QString key = keyEdit->text().trimmed();
    if (key == m_loadedKey)
        return;
    auto* store = new ApiKeyStore(m_place, QCoreApplication::instance());
    QPointer<QWidget> owner = promptOwner;
    const QString service = title().endsWith(QLatin1Char(':')) ? title().chopped(1) : title();
    connect(store, &ApiKeyStore::writeDone, store, [store, owner, service](KeyStorage, const QString& error) {
        store->deleteLater();
        if (error.isEmpty())
            return;
        Prompt::open(owner, QMessageBox::Warning, QStringLiteral("Options"),
                     QStringLiteral("%1: %2").arg(service, error), QMessageBox::Ok);
    });
    store->write(key);
    // A later save of the same field starts from what was just written.
    m_loadedKey = key;
}

} // namespace kestrion
