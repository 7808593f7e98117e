"""Opens a report's xlsx as a spreadsheet user would and checks it.

Every number is a numeric cell; every SUBTOTAL(9, range) formula is worked out
here from the cells of its range (leaving out the SUBTOTALs inside, as a
spreadsheet does) and must equal the figure the report printed, stored with
it; the title rows are frozen and the columns have widths. With a label and a
figure, the total on the row of that label must come to the figure.

usage: check_xlsx.py FILE [LABEL FIGURE]
"""
import re
import sys

import openpyxl
from openpyxl.utils import column_index_from_string

path = sys.argv[1]
formulas = openpyxl.load_workbook(path).active
values = openpyxl.load_workbook(path, data_only=True).active
assert formulas.freeze_panes is not None, "no frozen title rows"
assert all(formulas.column_dimensions[c].width for c in "ABC"), "column widths not set"

SUBTOTAL = re.compile(r"^=SUBTOTAL\(9,([A-Z]+)(\d+):([A-Z]+)(\d+)\)$")


def evaluate(row, col):
    cell = formulas.cell(row, col).value
    if isinstance(cell, str) and cell.startswith("="):
        m = SUBTOTAL.match(cell)
        assert m, f"unexpected formula {cell}"
        c = column_index_from_string(m.group(1))
        total = 0.0
        for r in range(int(m.group(2)), int(m.group(4)) + 1):
            inner = formulas.cell(r, c).value
            if isinstance(inner, (int, float)):
                total += inner
            else:
                assert inner is None or (isinstance(inner, str) and not inner[:1].isdigit()), \
                    f"a number stored as text at {r},{c}: {inner!r}"
        return total
    return cell


checked = 0
labelled = None
for row in range(1, formulas.max_row + 1):
    for col in range(1, formulas.max_column + 1):
        cell = formulas.cell(row, col).value
        if isinstance(cell, str) and cell.startswith("="):
            got = evaluate(row, col)
            stored = values.cell(row, col).value
            assert stored is not None and abs(got - stored) < 0.005, f"{cell} = {got}, printed {stored}"
            checked += 1
            if len(sys.argv) > 2 and sys.argv[2] in [formulas.cell(row, c).value for c in range(1, col)]:
                labelled = got
assert checked > 0, "no totals as formulas"
if len(sys.argv) > 2:
    assert labelled is not None, f"no total for {sys.argv[2]}"
    assert abs(labelled - float(sys.argv[3])) < 0.005, f"{sys.argv[2]} {labelled} != {sys.argv[3]}"
print(f"{path}: {checked} formulas agree")
