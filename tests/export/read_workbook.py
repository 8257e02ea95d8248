#!/usr/bin/env python3
"""Reads a workbook with openpyxl and prints what the export tests check, as JSON.

    read_workbook.py <file.xlsx> [--rows N,M,...]

Output: the sheet names in order, whether the 1904 date system is used, and for every worksheet its dimension
(as recorded in the file), its column groups, its row formats and every cell that has a
value or a format: value, openpyxl's data type, number format, and the cell's font, border,
fill and quote-prefix flag. Dates are written as ISO texts. openpyxl reads strings as stored,
so Excel's "_xHHHH_" escapes show up unchanged. With --rows only the cells of the listed
rows are reported (faster for big sheets), with their values and types only.
"""
import datetime
import json
import sys

import openpyxl


def plain(value):
    if isinstance(value, (datetime.datetime, datetime.date, datetime.time)):
        return value.isoformat()
    return value


def cell_info(cell):
    return {
        "value": plain(cell.value),
        "type": cell.data_type,
        "format": cell.number_format,
        "bold": bool(cell.font.b),
        "italic": bool(cell.font.i),
        "size": cell.font.sz,
        "border": cell.border.left.style,
        "fill": cell.fill.fill_type,
        "fillColor": cell.fill.fgColor.rgb if cell.fill.fill_type else None,
        "quotePrefix": bool(cell.quotePrefix),
        "shrinkToFit": bool(cell.alignment.shrink_to_fit),
    }


def main():
    path = sys.argv[1]
    only_rows = None
    if len(sys.argv) > 3 and sys.argv[2] == "--rows":
        only_rows = {int(r) for r in sys.argv[3].split(",")}
    book = openpyxl.load_workbook(path)
    dimensions = {}
    lazy = openpyxl.load_workbook(path, read_only=True)
    for sheet in lazy.worksheets:
        try:
            dimensions[sheet.title] = sheet.calculate_dimension()
        except ValueError:
            dimensions[sheet.title] = None
    lazy.close()

    out = {"sheets": book.sheetnames, "date1904": book.epoch.year == 1904, "worksheets": {}}
    out["max_row"] = {sheet.title: sheet.max_row for sheet in book.worksheets}
    for sheet in book.worksheets:
        cells = {}
        for row in sheet.iter_rows():
            for cell in row:
                if only_rows is not None:
                    if cell.row in only_rows and cell.value is not None:
                        cells[cell.coordinate] = {"value": plain(cell.value), "type": cell.data_type}
                elif cell.value is not None or cell.has_style:
                    cells[cell.coordinate] = cell_info(cell)
        columns = [
            {"min": dim.min, "max": dim.max, "width": dim.width, "customWidth": bool(dim.customWidth),
             "border": dim.border.left.style if dim.style_id else None}
            for dim in sheet.column_dimensions.values()
            if dim.min is not None
        ]
        rows = {
            str(index): {"customFormat": bool(dim.customFormat), "bold": bool(dim.font.b) if dim.customFormat else False,
                         "fill": dim.fill.fill_type if dim.customFormat else None}
            for index, dim in sheet.row_dimensions.items()
        }
        out["worksheets"][sheet.title] = {
            "dimension": dimensions.get(sheet.title),
            "autoFilter": sheet.auto_filter.ref,
            "freeze": sheet.freeze_panes,
            "columns": columns,
            "rows": rows,
            "cells": cells,
        }
    json.dump(out, sys.stdout, ensure_ascii=True)


if __name__ == "__main__":
    main()
