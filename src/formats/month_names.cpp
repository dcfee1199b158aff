#include "formats/month_names.h"

namespace kestrion {

const QStringList& monthNames()
{
    static const QStringList names{QStringLiteral("Jan"), QStringLiteral("Feb"), QStringLiteral("Mar"),
                                   QStringLiteral("Apr"), QStringLiteral("May"), QStringLiteral("Jun"),
                                   QStringLiteral("Jul"), QStringLiteral("Aug"), QStringLiteral("Sep"),
                                   QStringLiteral("Oct"), QStringLiteral("Nov"), QStringLiteral("Dec")};
    return names;
}

} // namespace kestrion
