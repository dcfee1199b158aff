#include "platform/browser_sandbox.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QStringList>

#include <unistd.h>
#include <utility>

namespace kestrion {

namespace {

bool g_switchedOff = false;
bool g_noted = false;

const char* const kDisableSandbox = "QTWEBENGINE_DISABLE_SANDBOX";

} // namespace

bool sandboxMustBeSwitchedOff(bool runningAsRoot, const QByteArray& disableSandboxValue)
{
    // The engine takes any value but "0" and the empty one as "off".
    const QByteArray value = disableSandboxValue.trimmed();
    const bool alreadyOff = !value.isEmpty() && value != "0";
    return runningAsRoot && !alreadyOff;
}

bool prepareBrowserSandbox()
{
    if (!sandboxMustBeSwitchedOff(::geteuid() == 0, qgetenv(kDisableSandbox)))
        return false;
    qputenv(kDisableSandbox, "1");
    g_switchedOff = true;
    g_noted = false;
    return true;
}

QString browserSandboxNoteOnce()
{
    if (!g_switchedOff || std::exchange(g_noted, true))
        return {};
    return QStringLiteral("Running as root: the chart browser runs without its sandbox");
}

QString browserEngineProblem()
{
    const QString helper = QStringLiteral("QtWebEngineProcess");
    QStringList candidates;
    const QByteArray fromEnv = qgetenv("QTWEBENGINEPROCESS_PATH");
    if (!fromEnv.isEmpty()) {
        candidates << QString::fromLocal8Bit(fromEnv);
    } else {
        candidates << QLibraryInfo::path(QLibraryInfo::LibraryExecutablesPath) + QLatin1Char('/') + helper;
        if (QCoreApplication::instance())
            candidates << QCoreApplication::applicationDirPath() + QLatin1Char('/') + helper;
    }
    for (const QString& candidate : std::as_const(candidates)) {
        if (QFileInfo(candidate).isFile())
            return {};
    }
    QStringList shown;
    for (const QString& candidate : std::as_const(candidates))
        shown << QDir::toNativeSeparators(candidate);
    return QStringLiteral("its helper program %1 is missing (looked for %2)")
        .arg(helper, shown.join(QStringLiteral(" and ")));
}

} // namespace kestrion
