#pragma once

#include "platform/api_key_store.h"

#include <QGroupBox>
#include <QString>

class QCheckBox;
class QLabel;
class QLineEdit;

namespace kestrion {

// The object names of one key field's controls: tests and style sheets find
// them by these.
struct ApiKeyFieldNames
{
    QString group;
    QString label;
    QString edit;
    QString show;
    QString help;
    QString storage;

    // Names for a service known by its --source name: "txtApiKey_eodhd"...
    static ApiKeyFieldNames forService(const QString& cliName);
};

// One service's API key on the Sources page: the masked field with its Show
// toggle, where to get a key and where it is kept. The key is read from its
// store only on startRead(), so that opening the dialog asks no secret store,
// and written back by save() only when it was read and then changed.
class ApiKeyField : public QGroupBox
{
    Q_OBJECT
public:
    // helpHtml: rich text, links open in the browser; empty hides the line.
    ApiKeyField(const QString& title, KeyPlace place, const QString& helpHtml, const ApiKeyFieldNames& names,
                QWidget* parent = nullptr);

    // Rich text for a plain help line: escaped, with its web addresses as links.
    static QString helpHtmlFromText(const QString& text);

    // Starts reading the key, once; the field stays disabled until it is in.
    void startRead();
    bool isLoaded() const { return m_loaded; }
    // Stores the key when it was read and then changed. The write outlives
    // the field (the dialog is destroyed right after its close); a failure is
    // told in a message box over promptOwner.
    void save(QWidget* promptOwner);

    const KeyPlace& place() const { return m_place; }

    QLabel* keyLabel;
    QLineEdit* keyEdit; // masked unless showKey is ticked
    QCheckBox* showKey;
    QLabel* help;
    QLabel* storage; // where the key is kept, or that it is being read

private:
    void showStored(const StoredKey& stored);

    KeyPlace m_place;
    bool m_readStarted = false;
    bool m_loaded = false;
    bool m_fromEnvironment = false;
    QString m_loadedKey;
};

} // namespace kestrion
