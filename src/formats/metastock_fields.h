#pragma once

#include <QByteArray>
#include <QString>

namespace kestrion::metastock {

// Fixed-width fields of the MetaStock index and data files, little-endian.
// Callers check the record size first: every offset is inside the array.
quint16 u16At(const QByteArray& b, int off);
quint32 u32At(const QByteArray& b, int off);
void putU16(QByteArray& b, int off, quint16 v);
void putU32(QByteArray& b, int off, quint32 v);
// A number as MBF; a value MBF cannot hold is stored as 0.
void putMbf(QByteArray& b, int off, float v);
void putIeee(QByteArray& b, int off, float v);

// Text of a fixed-width field: up to the first NUL, trailing blanks removed.
QByteArray textAt(const QByteArray& b, int off, int len);
// Writes the text into the field, filled up with the pad character.
void putText(QByteArray& b, int off, int width, const QByteArray& text, char pad);
// Latin-1 bytes of a symbol or name, printable only, cut to the field.
QByteArray storedText(const QString& text, int maxLength);

// A stored MBF date as yyyymmdd; 0 for anything that is no storable day.
qint32 dateFromMbf(quint32 mbf);
// yyyymmdd as the float the files keep; 0 stays 0.
float msDateFloat(qint32 yyyymmdd);
// Whether the letter is a period the files know (daily, weekly, monthly).
bool usablePeriod(char p);

} // namespace kestrion::metastock
