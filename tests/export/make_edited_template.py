#!/usr/bin/env python3
"""Writes a template workbook as a user might have edited it, with openpyxl.

    make_edited_template.py <file.xlsx>

"Notes" comes before the export's sheet, which is named "SHEET1"; that sheet has a wider
column B, a format on column D, a format on row 3, a formatted cell in row 3, an italic cell
with a value in row 2, and values beyond the exported columns and rows.
"""
import sys

import openpyxl
from openpyxl.styles import Border, Font, PatternFill, Side

book = openpyxl.Workbook()
notes = book.active
notes.title = "Notes"
notes["A1"] = "keep me"
notes["B2"] = 42
notes["C3"] = "=B2*2"

sheet = book.create_sheet("SHEET1")
sheet.column_dimensions["B"].width = 30
sheet.column_dimensions["D"].fill = PatternFill("solid", fgColor="FFFFFF00")
sheet.row_dimensions[3].fill = PatternFill("solid", fgColor="FF00B0F0")
sheet["B3"].border = Border(left=Side("thick"), right=Side("thick"), top=Side("thick"), bottom=Side("thick"))
sheet["C2"] = "old"
sheet["C2"].font = Font(italic=True)
sheet["J2"] = "kept"
sheet["A10"] = "below"
book.save(sys.argv[1])
