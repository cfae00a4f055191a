#pragma once

#include <QString>
#include <vector>

// Reads a written .xlsx package back and counts the rows of each worksheet part
// (xl/worksheets/sheet1.xml, sheet2.xml... in that order), reading it in pieces
// so that the memory used does not grow with the sheets. A part that is not
// whole (a damaged stream, a wrong checksum, not ended by </worksheet>) counts
// -1. False with a Russian reason when the package itself cannot be read.
bool CountXlsxSheetRows(const QString& FileName, std::vector<qint64>& Rows, QString& Reason);
