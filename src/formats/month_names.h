#pragma once

#include <QStringList>

namespace kestrion {

// The English month abbreviations "Jan".."Dec": the month texts of the date
// boxes, the old services' addresses and quote-line dates.
const QStringList& monthNames();

} // namespace kestrion
