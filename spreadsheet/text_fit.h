// How much room wrapped cell text needs: the number of lines a text takes in a column and the
// row height those lines need, as a desktop spreadsheet grows a row to fit the wrapped text
// written into it.
//
// Widths are estimated, not measured: each character has a width relative to the width of a
// digit of the same font (column widths count digits of the workbook's default font). The
// relative widths are those of a wide sans-serif face, the face a reader falls back to when the
// workbook's own font is missing, so the estimate leans towards one line too many rather than
// one too few. Wide (East Asian) characters count two digits.
#pragma once
#include <string_view>

namespace spreadsheet {

// The width of the text in digits of its own font (bold text is wider).
double TextWidthInDigits(std::string_view utf8, bool bold);

// The lines the text takes when wrapped at spaces (and after hyphens) into a column whose text
// area is the given number of digits wide; a word wider than the column is broken between its
// characters. A line feed starts a new line. At least 1.
int WrappedLineCount(std::string_view utf8, double areaDigits, bool bold);

// The tallest row desktop spreadsheets allow, in points.
inline constexpr double kMaxRowHeight = 409;

// The row height in points that holds the given number of lines of a font of the given size,
// in whole pixels (0.75 points) as a spreadsheet stores it: one line of 11 points is 15 points.
// At most kMaxRowHeight: text that needs more shows cut, as it does in those applications.
double RowHeightForLines(int lines, double fontPoints);

// The width of a column in whole pixels for its stored width, rounded as a spreadsheet rounds it
// (7 pixels a digit of the default font).
double ColumnPixels(double storedWidth);
// The text area, in digits of the default font, of a cell so many pixels wide: its width less the
// 5 pixels of cell padding.
double TextDigitsInPixels(double pixels);
// The text area of a column for its stored width (the two above).
double ColumnTextDigits(double storedWidth);

}  // namespace spreadsheet
