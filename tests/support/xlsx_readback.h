// Independent readers of the .xlsx files the program writes: LibreOffice (cell values as its CSV
// export shows them) and openpyxl (formats, merges, fills, widths). A failing reader fails the
// calling test with its error output.
#pragma once
#include <string>
#include <vector>

namespace testing_support {

// The first sheet of the workbook as LibreOffice exports it to CSV (UTF-8, formatted values),
// one vector of fields per row. Each call runs soffice headless with a throw-away profile.
std::vector<std::vector<std::string>> ReadSheetWithLibreOffice(const std::string& xlsxPath);

// Runs /usr/bin/python3 with openpyxl: the body runs after `wb = openpyxl.load_workbook(path)`
// (module `openpyxl` imported) and its standard output is returned.
std::string RunOpenpyxl(const std::string& pythonBody, const std::string& xlsxPath);

// The field at (row, column), counted from 0; "" past the end of the data.
std::string CsvField(const std::vector<std::vector<std::string>>& rows, std::size_t row, std::size_t col);

}  // namespace testing_support
