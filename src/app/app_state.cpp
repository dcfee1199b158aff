#include "app/app_state.h"

#include <QCoreApplication>

namespace kestrion {

AppState& appState()
{
    static AppState state;
    return state;
}

void resetAppState()
{
    appState() = AppState{};
}

QString applicationFolder()
{
    return QCoreApplication::applicationDirPath();
}

} // namespace kestrion
