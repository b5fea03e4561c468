#!/usr/bin/env python3
"""The report steps' work done by openpyxl, for the benchmark to compare the console's steps with.

    openpyxl-report.py TEMPLATE FILLED_REPORT RUNS WORK_DIR

The cells are those that the console's fill step wrote into FILLED_REPORT: every cell of its first
sheet whose value differs from the template's. Each run, on a fresh copy of the template in
WORK_DIR, times what the console's steps do: create (open the template, save it in place, save a
copy as the report) and fill (open the report, write the cells, save it). One line per run:
create and fill seconds, the seconds of the fill's writing and saving alone, and the cell count.
The interpreter's start, the imports and a first run that warms up are not timed.
"""
import os
import shutil
import sys
import time

import openpyxl


def main():
    template, filled, runs, work = sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[4]
    original = openpyxl.load_workbook(template).worksheets[0]
    report = openpyxl.load_workbook(filled).worksheets[0]
    cells = []
    for row in report.iter_rows():
        for cell in row:
            if cell.value is not None and cell.value != original.cell(cell.row, cell.column).value:
                cells.append((cell.row, cell.column, cell.value))

    copy = os.path.join(work, "savemode.xlsx")
    target = os.path.join(work, "report.xlsx")
    for run in range(-1, runs):  # the first run warms up and is not printed
        shutil.copyfile(template, copy)

        start = time.perf_counter()
        book = openpyxl.load_workbook(copy)
        book.save(copy)
        book.save(target)
        created = time.perf_counter()

        book = openpyxl.load_workbook(target)
        sheet = book.worksheets[0]
        opened = time.perf_counter()
        for row, column, value in cells:
            sheet.cell(row=row, column=column, value=value)
        book.save(target)
        done = time.perf_counter()
        if run >= 0:
            print(f"{created - start:.6f} {done - created:.6f} {done - opened:.6f} {len(cells)}", flush=True)


if __name__ == "__main__":
    main()
